#include "game/cell_drawing.h"

#include "game/game.h"

namespace {
constexpr int kCellPitch = 22;
constexpr int kCellSize = 21;
constexpr int kBoardLeft = 14;
constexpr int kBoardTop = 17;

BrushHandle CellPalette[kPaletteSize] = {};
}  // namespace

const Colour kPaletteColours[kPaletteSize] = {
    0x000000, 0x00FFFF, 0x49D549, 0xDD250D, 0xD8E800, 0xE56A32, 0x4000CF, 0xA600CF, 0xFFFFFF,
};

void CreateCellPalette() {
  for (int index = 0; index < kPaletteSize; ++index) {
    CellPalette[index] = CreateSolidBrushOf(kPaletteColours[index]);
  }
}

PixelRect CellRect(int column, int row) {
  const int left = kCellPitch * column + kBoardLeft;
  const int top = kCellPitch * row + kBoardTop;
  return {left, top, left + kCellSize, top + kCellSize};
}

void DrawCell(DrawContext dc, int column, int row, int colorIndex) {
  FillSolid(dc, CellRect(column, row), CellPalette[colorIndex]);
}

void DrawPiece(DrawContext dc, int rot, int shape, int colorIndex, int x, int y) {
  for (const CellOffset& cell : ShapeTable[shape][rot]) {
    DrawCell(dc, x + cell.dx, y + cell.dy, colorIndex);
  }
}
