// Fonts that draw the program's Chinese texts whole on any system, whatever its language, its
// fonts and its screen resolution.
#ifndef SMORVALA_READABLE_FONT_H
#define SMORVALA_READABLE_FONT_H

#include <windows.h>

// Gives the main window's controls the font they have on a Chinese system at 96 DPI where the
// font they would use (they have none of their own: the system's) lacks a character of a text
// they ever show, or draws a line taller than the smallest of them. Called once, when the
// controls are made: the controls keep their font through every later change of text.
void GiveControlsReadableFont(HWND mainWindow);

// Gives the dialog's items a Chinese font as tall as the dialog's own where the dialog's font
// lacks a character of their texts: a face the system does not have is replaced by one that
// may not know Chinese.
void GiveDialogReadableFont(HWND dialog);

#endif
