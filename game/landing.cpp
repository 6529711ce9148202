#include "game/cell_drawing.h"
#include "game/fall_step.h"
#include "game/game.h"
#include "game/texts.h"
#include "res/resource.h"

namespace {
// How long cleared rows stay white on screen while the program stands still.
constexpr int kFlashHoldMs = 200;

bool IsRowFull(int row) {
  for (int column = 0; column < kColumns; ++column) {
    if (playfield.occupied[CellIndex(column, row)] != 1) return false;
  }
  return true;
}

// Every row above moves down one; row 0 keeps its contents.
void RemoveRow(int row) {
  for (int r = row; r >= 1; --r) {
    for (int column = 0; column < kColumns; ++column) {
      playfield.occupied[CellIndex(column, r)] = playfield.occupied[CellIndex(column, r - 1)];
      playfield.color[CellIndex(column, r)] = playfield.color[CellIndex(column, r - 1)];
    }
  }
}
}  // namespace

void SettleStep(DrawContext dc, WindowHandle window, const char* gameOverText) {
  GameState& g = gameState;
  if (PieceFits(g.curRot, g.curShape, g.curX, g.curY + 1)) {
    ++g.curY;
    DrawPiece(dc, g.curRot, g.curShape, kEraseColour, g.curX, g.curY - 1);
    DrawPiece(dc, g.curRot, g.curShape, g.curColor, g.curX, g.curY);
    return;
  }
  const int rows = LandPiece(dc, g.curRot, g.curShape, g.curX, g.curY);
  if (rows > 0) AddLineScore(window, rows);
  UpdateLevelAndSpeed(window);
  if (IsGameOver()) {
    KillFallTimer(window);
    // Rows this landing flashed white would otherwise stay white behind the box.
    InvalidateClientArea(window, false);
    ShowMessageBox(window, text::kGameOverCaption, gameOverText);
    return;
  }
  PromoteNextPiece(window);
}

int LandPiece(DrawContext dc, int rot, int shape, int x, int y) {
  for (const CellOffset& cell : ShapeTable[shape][rot]) {
    const int index = CellIndex(x + cell.dx, y + cell.dy);
    playfield.occupied[index] = 1;
    playfield.color[index] = gameState.curColor;
  }
  // Rows only move down into the row being cleared, so the rows below it stay put and every
  // full row is found once, where the player saw it.
  int cleared = 0;
  for (int row = 0; row < kRows; ++row) {
    if (!IsRowFull(row)) continue;
    for (int column = 0; column < kColumns; ++column) DrawCell(dc, column, row, kFlashColour);
    ++cleared;
    RemoveRow(row);
  }
  if (cleared > 0) {
    PlaySoundResource(IDR_WAVE_CLEAR);
    HoldProgram(kFlashHoldMs);
  }
  return cleared;
}

void PromoteNextPiece(WindowHandle window) {
  gameState.curShape = gameState.nextShape;
  gameState.curColor = gameState.nextColor;
  PrepareNextPiece();
  InvalidateClientArea(window, false);
}
