// Where the main window stands and how large it is, once it is made: as it was laid out on the
// screen the program was made for, wherever that shows the whole window and the whole painting.
#ifndef SMORVALA_WINDOW_PLACEMENT_H
#define SMORVALA_WINDOW_PLACEMENT_H

#include <windows.h>

// Grows the window just enough where its caption, menu bar and borders leave the client area
// smaller than the painting; then moves it up and left just enough to end inside the work area
// of its monitor, never above or left of it. A window taller than the work area stands at its
// top and gives up the client area's rows below the painting until it fits, or has none left.
void FitMainWindow(HWND window);

#endif
