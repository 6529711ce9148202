// What the buttons, the piece keys and the fall timer do to the game.
#ifndef SMORVALA_COMMANDS_H
#define SMORVALA_COMMANDS_H

#include "game/platform.h"

void OnStartButton(WindowHandle window);
void OnPauseButton(WindowHandle window);
void OnExitButton(WindowHandle window);
void OnPieceKey(WindowHandle window, int virtualKey);
void OnFallTimer(WindowHandle window);
// The window is going away: no further tick, and the program ends without a question.
void OnWindowDestroyed(WindowHandle window);
// Picks and draws the first preview piece and the first falling piece; the first repaint
// after the first Start calls it, once in the life of the process.
void ChooseFirstPieces(DrawContext dc);

#endif
