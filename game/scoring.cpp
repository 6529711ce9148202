#include <charconv>
#include <cstdint>
#include <cstring>

#include "game/fall_step.h"
#include "game/game.h"
#include "game/texts.h"
#include "res/resource.h"

const LevelRow LevelTable[kLevelCount] = {
    {7500, 100, "第 9 关"}, {6100, 200, "第 8 关"}, {4800, 250, "第 7 关"}, {3600, 300, "第 6 关"},
    {2500, 350, "第 5 关"}, {1500, 400, "第 4 关"}, {1000, 450, "第 3 关"}, {600, 500, "第 2 关"},
    {200, 550, "第 1 关"},  {INT32_MIN, 600, "第 0 关"},
};

namespace {
// Points for one to four rows cleared by one landing.
constexpr int kLinePoints[] = {0, 10, 30, 60, 100};
constexpr int kMaxRowsPerLanding = 4;
}  // namespace

void AddLineScore(WindowHandle window, int rows) {
  if (rows >= 1 && rows <= kMaxRowsPerLanding) gameState.score += kLinePoints[rows];
  // The prefix and the score in decimal, without printf: on Windows that would bring a whole
  // formatting library into the program for one number.
  char scoreText[64];
  const std::size_t prefixLength = std::strlen(text::kScorePrefix);
  std::memcpy(scoreText, text::kScorePrefix, prefixLength);
  char* end = std::to_chars(scoreText + prefixLength, scoreText + sizeof scoreText - 1, gameState.score).ptr;
  *end = '\0';
  SetControlText(window, IDC_SCORE, scoreText);
}

void UpdateLevelAndSpeed(WindowHandle window) {
  const LevelRow& level = LevelForScore(gameState.score);
  gameState.interval = level.interval;
  ArmFallTimer(window, gameState.interval);
  SetControlText(window, IDC_LEVEL, level.text);
}
