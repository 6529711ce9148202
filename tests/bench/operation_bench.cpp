// Runs one game operation many times on the recording platform (no trace written), so that
// callgrind can count the instructions the game itself spends on it:
//   smorvala-operation-bench fall|landing|repaint COUNT
// With COUNT 0 it runs the operation once with the trace on and prints how many platform
// operations it performed: the least any implementation of the same rules must do.
// Each operation is reached through the same entry as in the program: the fall timer's tick
// for a step and a landing, the repaint for the board. Only the measured entry runs under
// the names MeasuredFallStep, MeasuredLanding and MeasuredRepaint, for --toggle-collect.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "game/board_painting.h"
#include "game/cell_drawing.h"
#include "game/commands.h"
#include "game/game.h"
#include "headless/recording_platform.h"

extern "C" {
// Not inlined, so that callgrind sees each as a function of its own.
__attribute__((noinline)) void MeasuredFallStep() { OnFallTimer(HeadlessWindow()); }
__attribute__((noinline)) void MeasuredLanding() { OnFallTimer(HeadlessWindow()); }
__attribute__((noinline)) void MeasuredRepaint() { PaintBoard(HeadlessDC()); }
}

namespace {
constexpr int kUprightBar = 1;

void Place(int shape, int rot, int x, int y) {
  gameState.curShape = shape;
  gameState.curRot = rot;
  gameState.curX = x;
  gameState.curY = y;
  gameState.curColor = shape + 1;
}

// Rows 19 to 22 full but for column 5, where the upright bar stands ready to land.
void SetUpFourRowClear() {
  playfield = Playfield{};
  for (int row = 19; row < kRows; ++row)
    for (int column = 0; column < kColumns; ++column)
      if (column != 5) {
        playfield.occupied[CellIndex(column, row)] = 1;
        playfield.color[CellIndex(column, row)] = column % 7 + 1;
      }
  Place(2, kUprightBar, 3, 19);
  gameState.score = 0;
}

// A half-full board: every other cell of rows 12 to 22, so the repaint draws 55 settled cells.
void SetUpHalfFullBoard() {
  for (int row = 12; row < kRows; ++row)
    for (int column = 0; column < kColumns; ++column)
      if ((row + column) % 2 == 0) {
        playfield.occupied[CellIndex(column, row)] = 1;
        playfield.color[CellIndex(column, row)] = row % 7 + 1;
      }
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: smorvala-operation-bench fall|landing|repaint COUNT\n";
    return 2;
  }
  const std::string operation = argv[1];
  const int count = std::atoi(argv[2]);
  const bool countOperations = count == 0;
  std::ostringstream trace;
  ResetRecordingPlatform(countOperations ? &trace : nullptr, false);
  CreateCellPalette();
  gameState.started = 1;
  gameState.firstPaintDone = 1;
  gameState.previewX = 11;
  gameState.previewY = 5;
  for (int i = 0; i < (countOperations ? 1 : count); ++i) {
    if (operation == "fall") {
      Place(6, 0, 2, 5);
      MeasuredFallStep();
    } else if (operation == "landing") {
      SetUpFourRowClear();
      MeasuredLanding();
    } else if (operation == "repaint") {
      if (i == 0) SetUpHalfFullBoard();
      MeasuredRepaint();
    } else {
      std::cerr << "unknown operation " << operation << '\n';
      return 2;
    }
  }
  if (countOperations) {
    const GdiCounts& gdi = RecordedGdiCounts();
    int traced = 0;
    for (char c : trace.str()) traced += c == '\n';
    std::cout << traced + gdi.brushesCreated + gdi.brushesDeleted + gdi.pensCreated + gdi.pensDeleted -
                     kPaletteSize
              << '\n';
  }
  return 0;
}
