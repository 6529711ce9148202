#include "win/about_box.h"

#include "res/resource.h"
#include "win/readable_font.h"
#include "win/web_links.h"

// Only the close box and the system menu end the box: Enter and Esc arrive as IDOK and
// IDCANCEL and are left alone, so they keep it open. Returning FALSE for WM_INITDIALOG
// leaves every control without the focus until the user tabs or clicks to one.
INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      GiveDialogReadableFont(hwnd);
      break;
    case WM_CLOSE:
      EndDialog(hwnd, 0);
      break;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_VISIT) StartOpeningGamePage();
      break;
  }
  return FALSE;
}

void ShowAboutBox(HWND owner) {
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutDlgProc, 0);
}
