// The main window: its class, its five child controls and its window procedure.
#ifndef SMORVALA_MAIN_WINDOW_H
#define SMORVALA_MAIN_WINDOW_H

#include <windows.h>

// The class "MainWClass": icon, arrow cursor, the dark teal background and the menu bar.
void RegisterMainWindowClass(HINSTANCE instance);
// The main window, whole on its screen; null if it could not be created.
HWND CreateMainWindow(HINSTANCE instance);

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#endif
