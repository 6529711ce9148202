// The full repaint of the board: frames, settled cells, the preview and the falling piece.
#ifndef SMORVALA_BOARD_PAINTING_H
#define SMORVALA_BOARD_PAINTING_H

#include "game/platform.h"

// The window's background outside every frame: red 27, green 65, blue 61.
constexpr Colour kWindowBackground = 0x1B413D;
// The part of the client area the painting covers, from its top left corner: up to the preview
// box's right edge and the outer frame's bottom edge (x 379 and y 526 the last pixels).
constexpr int kPaintingWidth = 380;
constexpr int kPaintingHeight = 527;

void DrawSettledCells(DrawContext dc);
// Draws into the repaint's drawing context; the caller begins and ends the repaint.
void PaintBoard(DrawContext dc);

#endif
