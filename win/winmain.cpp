// The program's entry: the main window and the message loop that drives the whole game.
#include <windows.h>
#include <commctrl.h>

#include "game/texts.h"
#include "win/main_window.h"
#include "win/win32_conversions.h"

namespace {
constexpr int kCreationFailedExitCode = -1;
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  InitCommonControls();
  RegisterMainWindowClass(instance);
  const HWND hwnd = CreateMainWindow(instance);
  if (hwnd == nullptr) {
    MessageBoxW(nullptr, Utf16FromUtf8(text::kWindowCreationFailed).c_str(), L"", MB_OK);
    return kCreationFailedExitCode;
  }
  ShowWindow(hwnd, showCommand);
  UpdateWindow(hwnd);

  MSG message = {};
  // GetMessage's -1 for an error counts as "go on", like any non-zero result.
  while (GetMessageW(&message, nullptr, 0, 0) != 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
