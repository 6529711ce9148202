// The full repaint of the board: frames, settled cells, the preview and the falling piece.
#ifndef SMORVALA_BOARD_PAINTING_H
#define SMORVALA_BOARD_PAINTING_H

#include "win/platform.h"

// The window's background outside every frame: red 27, green 65, blue 61.
constexpr Colour kWindowBackground = 0x1B413D;

void DrawSettledCells(DrawContext dc);
// Draws into the repaint's drawing context; the caller begins and ends the repaint.
void PaintBoard(DrawContext dc);

#endif
