// smorvala-about-driver: looks at the menu bar and the About box of a running SMorvala.exe
// from beside it in the same Wine session, for the end-to-end cases of the menu, the About
// box and the web links. One command per line on standard input, one reply on standard
// output ("ok ..." or "error REASON"; texts UTF-8):
//   wait-window MS        waits for the main window; "ok" or "timeout"
//   thread                "ok TID": the thread that runs the main window
//   has-menu              "ok 1" if the main window has a menu bar
//   menu-resource         "ok N" and N lines "ID POPUP TEXT": the program's menu 103 as the
//                         system's menu loader reads it from the program file (menus of
//                         another process cannot be read through its window)
//   menu-key CHAR         chooses a menu bar item by its mnemonic, as Alt+CHAR does
//   command ID            posts WM_COMMAND ID to the main window
//   click ID              presses the main window's button ID (posted BM_CLICK)
//   cells                 "ok " and 230 characters, 1 for each cell of the board that is not
//                         black on screen, column by column from the top left
//   about-wait MS         waits for the About box; "ok CAPTION" or "timeout"
//   about-open            "ok 1" while an About box of the game is shown, else "ok 0"
//   about-owner           "ok 1" if the main window owns the box and is disabled by it
//   about-units           "ok X Y": the dialog base units of its font, as the dialog manager
//                         computes them for a template font (average width of a-z A-Z, and
//                         height), so that dialog units can be turned into pixels
//   about-client          "ok W H": the box's client area in pixels
//   about-items           "ok N" and N lines "CLASS ID STYLE LEFT TOP WIDTH HEIGHT TEXT",
//                         the controls in creation order, rectangles in client pixels
//   about-focus           "ok none", "ok dialog" or "ok control ID"
//   about-key VK          posts the key's down and up messages to the box, to its focused
//                         control if it has one
//   about-click ID        presses the box's button ID (posted BM_CLICK)
//   about-move X Y        moves the box to screen position X, Y, as dragging its caption does
//   about-close           posts WM_CLOSE to the box
//   about-sysclose        posts WM_SYSCOMMAND SC_CLOSE to the box, as its close box does
//   quit                  ends the driver
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" LONG WINAPI GdiGetCharDimensions(HDC dc, LPTEXTMETRICW metrics, LONG* height);

namespace {
constexpr int kPollMs = 10;
constexpr int kMainMenuId = 103;
// The About box's template font.
constexpr wchar_t kDialogFont[] = L"新宋体";
constexpr int kDialogFontPoints = 9;

HWND mainWindow = nullptr;

std::string Utf8(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], length, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(length - 1));
  return text;
}

// WM_GETTEXT, since only the message reaches a window of another process.
std::string WindowText(HWND hwnd) {
  wchar_t buffer[512] = {};
  SendMessageW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer));
  return Utf8(buffer);
}

std::string ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return Utf8(name);
}

void Reply(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Number(long long value) { return std::to_string(value); }

struct Search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK FindGameDialog(HWND hwnd, LPARAM lParam) {
  Search* search = reinterpret_cast<Search*>(lParam);
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  if (process == search->process && ClassOf(hwnd) == "#32770" && IsWindowVisible(hwnd)) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND AboutBox() {
  if (mainWindow == nullptr || !IsWindow(mainWindow)) return nullptr;
  Search search = {0, nullptr};
  GetWindowThreadProcessId(mainWindow, &search.process);
  EnumWindows(FindGameDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void WaitWindow(int timeoutMs) {
  for (int waited = 0;; waited += kPollMs) {
    mainWindow = FindWindowW(L"MainWClass", nullptr);
    if (mainWindow != nullptr && IsWindowVisible(mainWindow)) return Reply("ok");
    if (waited >= timeoutMs) return Reply("timeout");
    Sleep(kPollMs);
  }
}

void MenuResource() {
  DWORD process = 0;
  GetWindowThreadProcessId(mainWindow, &process);
  const HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  const BOOL named = handle != nullptr && QueryFullProcessImageNameW(handle, 0, path, &size);
  if (handle != nullptr) CloseHandle(handle);
  if (!named) return Reply("error cannot name the game's program file");
  const HMODULE program = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (program == nullptr) return Reply("error cannot load the program file");
  const HMENU menu = LoadMenuW(program, MAKEINTRESOURCEW(kMainMenuId));
  if (menu == nullptr) {
    FreeLibrary(program);
    return Reply("error no menu 103");
  }
  const int count = GetMenuItemCount(menu);
  Reply("ok " + Number(count));
  for (int i = 0; i < count; ++i) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    const bool popup = GetSubMenu(menu, i) != nullptr;
    Reply(Number(GetMenuItemID(menu, i) & 0xFFFFFFFFu) + " " + (popup ? "1 " : "0 ") + Utf8(text));
  }
  DestroyMenu(menu);
  FreeLibrary(program);
}

// The dialog manager's own conversion: the template font at the screen's resolution, its
// average character width over the 52 Latin letters and its height.
void AboutUnits() {
  const HDC screen = GetDC(nullptr);
  const int height = -MulDiv(kDialogFontPoints, GetDeviceCaps(screen, LOGPIXELSY), 72);
  const HFONT font = CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 0, 0, PROOF_QUALITY, FF_DONTCARE, kDialogFont);
  const HGDIOBJ previous = SelectObject(screen, font);
  LONG baseY = 0;
  const LONG baseX = GdiGetCharDimensions(screen, nullptr, &baseY);
  SelectObject(screen, previous);
  DeleteObject(font);
  ReleaseDC(nullptr, screen);
  Reply("ok " + Number(baseX) + " " + Number(baseY));
}

void AboutItems(HWND box) {
  std::vector<HWND> items;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    items.push_back(child);
  }
  // Children are listed top of the z-order first, which is creation order for a dialog.
  Reply("ok " + Number(static_cast<long long>(items.size())));
  for (HWND item : items) {
    RECT rect = {};
    GetWindowRect(item, &rect);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&rect), 2);
    const LONG style = GetWindowLongW(item, GWL_STYLE);
    Reply(ClassOf(item) + " " + Number(GetDlgCtrlID(item)) + " " +
          Number(static_cast<unsigned long>(style)) + " " + Number(rect.left) + " " +
          Number(rect.top) + " " + Number(rect.right - rect.left) + " " +
          Number(rect.bottom - rect.top) + " " + WindowText(item));
  }
}

HWND FocusIn(HWND box) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &info);
  return info.hwndFocus;
}

void AboutFocus(HWND box) {
  const HWND focus = FocusIn(box);
  if (focus == nullptr) return Reply("ok none");
  if (focus == box) return Reply("ok dialog");
  if (GetParent(focus) == box) return Reply("ok control " + Number(GetDlgCtrlID(focus)));
  Reply("ok elsewhere");
}

void AboutKey(HWND box, int virtualKey) {
  const HWND focus = FocusIn(box);
  const HWND target = focus != nullptr && GetParent(focus) == box ? focus : box;
  const UINT scan = MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), static_cast<LPARAM>(1 | (scan << 16)));
  PostMessageW(target, WM_KEYUP, static_cast<WPARAM>(virtualKey),
               static_cast<LPARAM>(1 | (scan << 16) | (3u << 30)));
  Reply("ok");
}

// Reads the centre pixel of every board cell from the screen: a cell is 21 pixels square
// on a 22-pixel pitch from client pixel (14, 17).
void Cells() {
  const HDC dc = GetDC(mainWindow);
  std::string cells;
  for (int column = 0; column < 10; ++column) {
    for (int row = 0; row < 23; ++row) {
      const COLORREF colour = GetPixel(dc, 22 * column + 24, 22 * row + 27);
      cells += colour == RGB(0, 0, 0) ? '0' : '1';
    }
  }
  ReleaseDC(mainWindow, dc);
  Reply("ok " + cells);
}

void AboutWait(int timeoutMs) {
  for (int waited = 0;; waited += kPollMs) {
    const HWND box = AboutBox();
    if (box != nullptr) return Reply("ok " + WindowText(box));
    if (waited >= timeoutMs) return Reply("timeout");
    Sleep(kPollMs);
  }
}

void PostToButton(HWND parent, int id) {
  const HWND button = GetDlgItem(parent, id);
  if (button == nullptr) return Reply("error no control " + Number(id));
  PostMessageW(button, BM_CLICK, 0, 0);
  Reply("ok");
}

// The commands about the About box itself, once it is known to be open.
void ExecuteOnBox(HWND box, const std::string& command, int value, bool hasValue, int second) {
  if (command == "about-owner") {
    const bool owned = GetWindow(box, GW_OWNER) == mainWindow && !IsWindowEnabled(mainWindow);
    Reply(owned ? "ok 1" : "ok 0");
  } else if (command == "about-client") {
    RECT client = {};
    GetClientRect(box, &client);
    Reply("ok " + Number(client.right) + " " + Number(client.bottom));
  } else if (command == "about-items") {
    AboutItems(box);
  } else if (command == "about-focus") {
    AboutFocus(box);
  } else if (command == "about-key" && hasValue) {
    AboutKey(box, value);
  } else if (command == "about-click" && hasValue) {
    PostToButton(box, value);
  } else if (command == "about-move" && hasValue) {
    SetWindowPos(box, nullptr, value, second, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Reply("ok");
  } else if (command == "about-close") {
    PostMessageW(box, WM_CLOSE, 0, 0);
    Reply("ok");
  } else if (command == "about-sysclose") {
    PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    Reply("ok");
  } else {
    Reply("error unknown command: " + command);
  }
}

void Execute(const std::string& command, const char* argument, bool hasArgument, int second) {
  const int value = hasArgument ? std::atoi(argument) : 0;
  if (command == "wait-window") return WaitWindow(value);
  if (mainWindow == nullptr || !IsWindow(mainWindow)) return Reply("error no main window");
  if (command == "thread") return Reply("ok " + Number(GetWindowThreadProcessId(mainWindow, nullptr)));
  if (command == "has-menu") return Reply(GetMenu(mainWindow) != nullptr ? "ok 1" : "ok 0");
  if (command == "menu-resource") return MenuResource();
  if (command == "menu-key" && hasArgument) {
    PostMessageW(mainWindow, WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(argument[0]));
    return Reply("ok");
  }
  if (command == "command" && hasArgument) {
    PostMessageW(mainWindow, WM_COMMAND, static_cast<WPARAM>(value), 0);
    return Reply("ok");
  }
  if (command == "click" && hasArgument) return PostToButton(mainWindow, value);
  if (command == "cells") return Cells();
  if (command == "about-wait") return AboutWait(value);
  if (command == "about-open") return Reply(AboutBox() != nullptr ? "ok 1" : "ok 0");
  if (command == "about-units") return AboutUnits();
  const HWND box = AboutBox();
  if (box == nullptr) return Reply("error no About box");
  ExecuteOnBox(box, command, value, hasArgument, second);
}
}  // namespace

int main() {
  // Replies end in a bare newline, as the suite reads them.
  _setmode(_fileno(stdout), _O_BINARY);
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
    char command[32] = {};
    char argument[32] = {};
    int second = 0;
    const int count = std::sscanf(buffer, "%31s %31s %d", command, argument, &second);
    if (count < 1) continue;
    if (std::strcmp(command, "quit") == 0) break;
    Execute(command, argument, count >= 2, second);
  }
  return 0;
}
