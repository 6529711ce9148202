// A fresh program on the recording platform for every test, with helpers to read the trace
// and to lay out the playfield.
#ifndef SMORVALA_GAME_FIXTURE_H
#define SMORVALA_GAME_FIXTURE_H

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "game/board_painting.h"
#include "game/commands.h"
#include "game/game.h"
#include "headless/recording_platform.h"
#include "headless/replay.h"

class GameTest : public ::testing::Test {
 protected:
  void SetUp() override { StartUpHeadless(trace_); }

  // The trace lines written since the last call.
  std::vector<std::string> TakeTrace() {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(trace_.str());
    while (std::getline(in, line)) lines.push_back(line);
    trace_.str("");
    return lines;
  }

  static WindowHandle Window() { return HeadlessWindow(); }
  static DrawContext DC() { return HeadlessDC(); }

  // Start pressed and its repaint done: a game in play with its first two pieces.
  void StartGame() {
    OnStartButton(Window());
    PaintBoard(DC());
    TakeTrace();
  }

  static void Settle(int column, int row, int colour = 1) {
    playfield.occupied[CellIndex(column, row)] = 1;
    playfield.color[CellIndex(column, row)] = colour;
  }

  // Fills a row but for the listed columns.
  static void FillRowExcept(int row, std::initializer_list<int> holes) {
    for (int column = 0; column < kColumns; ++column) {
      bool hole = false;
      for (int h : holes) hole = hole || h == column;
      if (!hole) Settle(column, row, column % 7 + 1);
    }
  }

  static void PlacePiece(int shape, int rot, int x, int y) {
    gameState.curShape = shape;
    gameState.curRot = rot;
    gameState.curX = x;
    gameState.curY = y;
    gameState.curColor = shape + 1;
  }

  std::ostringstream trace_;
};

// Trace helpers shared by the test files.
inline bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

inline int IndexOf(const std::vector<std::string>& lines, const std::string& line) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == line) return static_cast<int>(i);
  }
  return -1;
}

#endif
