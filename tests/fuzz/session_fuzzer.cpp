// Plays arbitrary sessions through the real game on the recording platform and checks, after
// every event, what must always hold: clean grids, a score made of line points, the speed that
// belongs to the score, the fall timer armed exactly while a game is in play, and a falling
// piece inside the well. The same bytes are also read as a replay script, to shake the parser,
// and as a saved game read back before the session plays: a refusal changes nothing, and a game
// read back is paused and writes out as the line it was read from. A game in progress writes out
// after every event, unless its score is past what a line holds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "game/board_painting.h"
#include "game/commands.h"
#include "game/game.h"
#include "game/saved_game.h"
#include "game/shape_generator.h"
#include "headless/recording_platform.h"
#include "headless/replay.h"

namespace {
constexpr int kKeys[] = {37, 38, 39, 40, 65, 68, 83, 87};

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

void Require(bool holds, const char* what) {
  if (!holds) Broken(what);
}

int IntervalForScore(int score) {
  for (const LevelRow& level : LevelTable) {
    if (score > level.scoreAbove) return level.interval;
  }
  return LevelTable[kLevelCount - 1].interval;
}

bool IsLinePoints(int gained) {
  return gained == 0 || gained == 10 || gained == 30 || gained == 60 || gained == 100;
}

void CheckInvariants(int scoreBefore, bool restarted) {
  for (int i = 0; i < kCellCount; ++i) {
    Require(playfield.occupied[i] == 0 || playfield.occupied[i] == 1, "occupied holds only 0 and 1");
    if (playfield.occupied[i] == 1) {
      Require(playfield.color[i] >= 1 && playfield.color[i] <= 7, "settled cells have colours 1 to 7");
    }
  }
  const int score = gameState.score;
  if (restarted ? score != 0 : !IsLinePoints(score - scoreBefore)) {
    std::fprintf(stderr, "score %d after %d%s\n", score, scoreBefore, restarted ? " and a restart" : "");
    Broken("the score grows by line points only");
  }
  Require(gameState.interval == IntervalForScore(score), "the speed belongs to the score");
  Require(WindowDCsHeld() == 0, "every drawing context taken is released");
  Require(FallTimerArmed() == IsInPlay(), "the fall timer runs exactly while a game is in play");
  if (FallTimerArmed()) Require(FallTimerPeriod() == gameState.interval, "the timer runs at the current speed");
  for (const CellOffset& cell : ShapeTable[gameState.curShape][gameState.curRot]) {
    const int column = gameState.curX + cell.dx;
    const int row = gameState.curY + cell.dy;
    Require(column >= 0 && column < kColumns && row >= 0 && row < kRows, "the falling piece is inside the well");
  }
  char line[kSavedGameCapacity];
  Require(gameState.started == 0 || gameState.firstPaintDone == 0 || IsGameOver() || score > kSavedScoreLimit ||
              WriteOutGame(ScoreBoxText().c_str(), line) > 0,
          "a game in progress writes out");
}

void Paint() {
  BeginHeadlessPaint();
  PaintBoard(HeadlessDC());
}

// One byte, one event. Ticks come only while the timer is armed, and after any pending
// repaint, as on the real platform. Keys may come before a pending repaint (those queued
// during the row-clear hold do), but not before the first one after Start: the click on
// Start leaves no input queued behind it.
// Returns false once the program has quit.
bool PlayEvent(std::uint8_t byte) {
  WindowHandle window = HeadlessWindow();
  const int scoreBefore = gameState.score;
  bool restarted = false;
  switch (byte % 10) {
    case 0:
    case 1:
    case 2:
    case 3:
      if (gameState.firstPaintDone == 0 && PaintPending()) Paint();
      OnPieceKey(window, byte % 10 == 3 ? byte : kKeys[byte / 10 % 8]);
      break;
    case 4:
    case 5:
      if (!FallTimerArmed()) break;
      if (PaintPending()) Paint();
      OnFallTimer(window);
      break;
    case 6: Paint(); break;
    case 7: OnPauseButton(window); break;
    case 8: {
      // Only a restart asks; an answer queued for the first Start would be left for a later one.
      const bool yes = byte / 10 % 2 == 1;
      if (gameState.started == 1) QueueAnswer(yes);
      restarted = yes && gameState.started == 1;
      OnStartButton(window);
      break;
    }
    case 9:
      if (byte >= 250) {
        OnWindowDestroyed(window);
      } else {
        const bool yes = byte >= 240;
        QueueAnswer(yes);
        OnExitButton(window);
      }
      break;
  }
  if (QuitRequested()) return false;
  CheckInvariants(scoreBefore, restarted);
  return true;
}

void ReadBack(const std::string& line, const std::ostringstream& trace) {
  const GameState game = gameState;
  const Playfield field = playfield;
  const std::uint32_t generator = shapeGeneratorState;
  const std::string traced = trace.str();
  if (!ReadBackGame(HeadlessWindow(), line.data(), line.size())) {
    Require(std::memcmp(&game, &gameState, sizeof game) == 0 && std::memcmp(&field, &playfield, sizeof field) == 0 &&
                generator == shapeGeneratorState && traced == trace.str(),
            "a refusal changes nothing");
    return;
  }
  char written[kSavedGameCapacity];
  Require(gameState.running == 0 && !FallTimerArmed() &&
              line == std::string(written, WriteOutGame(ScoreBoxText().c_str(), written)),
          "a game read back is paused, and writes out as the line it was read from");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream script(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream trace, errors;
  RunReplay(script, trace, errors);

  std::ostringstream ignored;
  StartUpHeadless(ignored);
  // The first Start and its repaint begin most sessions, so the bytes are spent on play.
  if (size > 0 && data[0] % 2 == 0) {
    OnStartButton(HeadlessWindow());
    PaintBoard(HeadlessDC());
  }
  ReadBack(std::string(reinterpret_cast<const char*>(data), size), ignored);
  CheckInvariants(gameState.score, false);
  for (std::size_t i = 1; i < size; ++i) {
    if (!PlayEvent(data[i])) break;
  }
  return 0;
}
