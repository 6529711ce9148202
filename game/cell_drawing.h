// Cells on screen: the grid-to-pixel mapping, the nine-colour palette and the drawing of
// one cell or one piece into whatever drawing context the caller holds.
#ifndef SMORVALA_CELL_DRAWING_H
#define SMORVALA_CELL_DRAWING_H

#include "game/platform.h"

constexpr int kPaletteSize = 9;

// Index 0 erases, 1 to 7 are the shapes, 8 flashes a cleared row.
extern const Colour kPaletteColours[kPaletteSize];

// Made once, before the first cell is drawn, and kept for the life of the process.
void CreateCellPalette();

// Cell (c, r) is a 21 x 21 square on a 22-pixel pitch; any c and r map by the same formula.
PixelRect CellRect(int column, int row);
void DrawCell(DrawContext dc, int column, int row, int colorIndex);
void DrawPiece(DrawContext dc, int rot, int shape, int colorIndex, int x, int y);

#endif
