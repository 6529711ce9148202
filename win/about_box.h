// The About box: the key help, the version, the maker's contacts and a button that opens
// the game's web page. It is modal to the main window, but the fall timer keeps running
// behind it, so a game in progress goes on falling.
#ifndef SMORVALA_ABOUT_BOX_H
#define SMORVALA_ABOUT_BOX_H

#include <windows.h>

INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Shows the box and returns when it is closed.
void ShowAboutBox(HWND owner);

#endif
