// The fall step and everything a landing sets off, in order: writing the piece into the
// playfield, flashing and removing full rows, points, level and speed, the end of the game
// and the next piece.
#ifndef SMORVALA_FALL_STEP_H
#define SMORVALA_FALL_STEP_H

#include "game/platform.h"

// Moves the falling piece one row down, or lands it where it is.
void SettleStep(DrawContext dc, WindowHandle window, const char* gameOverText);
// Writes the piece in the colour of the falling piece; returns the number of rows cleared.
int LandPiece(DrawContext dc, int rot, int shape, int x, int y);
void AddLineScore(WindowHandle window, int rows);
void UpdateLevelAndSpeed(WindowHandle window);
void PromoteNextPiece(WindowHandle window);

#endif
