#include "win/main_window.h"

#include <commctrl.h>

#include "game/board_painting.h"
#include "game/cell_drawing.h"
#include "game/commands.h"
#include "game/shape_generator.h"
#include "game/texts.h"
#include "res/resource.h"
#include "win/about_box.h"
#include "win/readable_font.h"
#include "win/web_links.h"
#include "win/win32_conversions.h"
#include "win/window_placement.h"

namespace {
constexpr const wchar_t* kClassName = L"MainWClass";

// A caption and a system menu only: no minimise or maximise box and no sizing border, so the
// layout below never has to adapt.
constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU;
// Outer position and size in screen pixels, as laid out for a screen at 96 DPI of 768 pixels or
// more: the client area left after the caption, menu bar and borders is then larger than the
// 380 x 527 pixels the painting needs. FitMainWindow mends them where it is not.
constexpr int kWindowX = 500;
constexpr int kWindowY = 130;
constexpr int kWindowWidth = 400;
constexpr int kWindowHeight = 590;

constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE;
// The level and score boxes show text only: greyed out, never focused, never edited.
constexpr DWORD kReadOnlyBoxStyle = WS_CHILD | WS_VISIBLE | WS_DISABLED | ES_READONLY | ES_CENTER;

struct ChildControl {
  int id;
  const wchar_t* className;
  const char* text;
  int x;
  int y;
  int width;
  int height;
  DWORD style;
};

// In creation order; on screen, from the top of the right-hand column: level, score, Start,
// Pause, Exit.
const ChildControl kChildControls[] = {
    {IDC_PAUSE, L"button", text::kPause, 285, 425, 80, 28, kButtonStyle},
    {IDC_EXIT, L"button", text::kExit, 285, 460, 80, 28, kButtonStyle},
    {IDC_START, L"button", text::kStart, 285, 390, 80, 28, kButtonStyle},
    {IDC_LEVEL, L"edit", text::kFirstLevel, 280, 220, 80, 20, kReadOnlyBoxStyle},
    {IDC_SCORE, L"edit", text::kFirstScore, 280, 250, 80, 20, kReadOnlyBoxStyle},
};

void CreateChildControls(HWND hwnd, HINSTANCE instance) {
  for (const ChildControl& control : kChildControls) {
    CreateWindowExW(0, control.className, Utf16FromUtf8(control.text).c_str(), control.style,
                    control.x, control.y, control.width, control.height, hwnd,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
  }
}

void OnWindowCreated(HWND hwnd, LPARAM lParam) {
  const CREATESTRUCTW* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
  CreateChildControls(hwnd, creation->hInstance);
  GiveControlsReadableFont(hwnd);
  CreateCellPalette();
  SeedShapeGenerator(ClockSeed());
}

LRESULT PaintMainWindow(HWND hwnd) {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(hwnd, &paint);
  PaintBoard(ToDrawContext(dc));
  EndPaint(hwnd, &paint);
  return 0;
}

// Buttons and menu commands arrive with notification code 0, so the whole wParam is the id.
void OnCommand(HWND hwnd, WPARAM command) {
  const WindowHandle window = ToWindowHandle(hwnd);
  switch (command) {
    case IDC_PAUSE: OnPauseButton(window); break;
    case IDC_EXIT: OnExitButton(window); break;
    case IDC_START: OnStartButton(window); break;
    case IDM_ABOUT: ShowAboutBox(hwnd); break;
    case IDM_HOMEPAGE: StartOpeningHomePage(); break;
    default: break;
  }
}
}  // namespace

void RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = instance;
  // A missing icon or menu resource leaves the class without one; the game still runs.
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAIN));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // Kept for the life of the process, as the class uses it to erase every repaint.
  windowClass.hbrBackground = CreateSolidBrush(ToColorRef(kWindowBackground));
  windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);
}

HWND CreateMainWindow(HINSTANCE instance) {
  const HWND hwnd = CreateWindowExW(0, kClassName, Utf16FromUtf8(text::kWindowTitle).c_str(), kMainWindowStyle,
                                    kWindowX, kWindowY, kWindowWidth, kWindowHeight, nullptr, nullptr,
                                    instance, nullptr);
  if (hwnd != nullptr) FitMainWindow(hwnd);
  return hwnd;
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: OnWindowCreated(hwnd, lParam); break;
    case WM_DESTROY: OnWindowDestroyed(ToWindowHandle(hwnd)); return 0;
    case WM_PAINT: return PaintMainWindow(hwnd);
    case WM_KEYDOWN: OnPieceKey(ToWindowHandle(hwnd), static_cast<int>(wParam)); return 0;
    case WM_COMMAND: OnCommand(hwnd, wParam); break;
    case WM_TIMER: OnFallTimer(ToWindowHandle(hwnd)); return 0;
    default: break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}
