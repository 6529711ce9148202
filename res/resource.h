// Every identifier shared by the game, the window and the resource script.
#ifndef SMORVALA_RESOURCE_H
#define SMORVALA_RESOURCE_H

// The one timer of the program: the fall step.
#define FALL_TIMER_ID 1

// Child controls of the main window.
#define IDC_PAUSE 1
#define IDC_EXIT 2
#define IDC_START 3
#define IDC_LEVEL 4
#define IDC_SCORE 5

// Menu commands.
#define IDM_ABOUT 40001
#define IDM_HOMEPAGE 65535

// Resources.
#define IDI_MAIN 101
#define IDR_MAINMENU 103
#define IDR_WAVE_CLEAR 105
#define IDR_WAVE_ROTATE 107
#define IDD_ABOUT 110
#define IDC_VISIT 1002

#endif
