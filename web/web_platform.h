// What the browser's front end needs of its platform besides the seam: the one window, the
// repaint that waits for the page to be idle, the sounds the page fetches at start, and the
// score box's text, which a saved game keeps.
#ifndef SMORVALA_WEB_PLATFORM_H
#define SMORVALA_WEB_PLATFORM_H

#include "game/platform.h"

WindowHandle PageWindow();
// Runs the repaint asked for since the last one, if any; true if it ran.
bool PaintIfPending();
// Has the page fetch the sounds the game plays, so that the first one starts at once.
void LoadSounds();
// The score box's text as the game last set it.
const char* ScoreBoxText();

#endif
