#include "game/game.h"

Playfield playfield;

bool PieceFits(int rot, int shape, int x, int y) {
  // No test for rows above the top: a piece's origin row is never negative.
  for (const CellOffset& cell : ShapeTable[shape][rot]) {
    const int column = x + cell.dx;
    const int row = y + cell.dy;
    if (column < 0 || column >= kColumns || row >= kRows) return false;
    if (playfield.occupied[CellIndex(column, row)] != 0) return false;
  }
  return true;
}

bool IsGameOver() {
  for (int column = 0; column < kColumns; ++column) {
    if (playfield.occupied[CellIndex(column, 0)] == 1) return true;
  }
  return false;
}
