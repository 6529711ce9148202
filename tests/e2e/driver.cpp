// smorvala-e2e-driver: plays the part of the user's hands and eyes for the end-to-end suite.
// It runs in the same Wine session as SMorvala.exe and answers one command per line on
// standard input, replying on standard output:
//   wait-window MS        waits for the main window; "ok" or "timeout"
//   window-count          "ok N": how many main windows of the game exist
//   exists                "ok 1" while the main window exists, "ok 0" after it is gone
//   title                 the main window's title
//   text ID               the text of the child control ID (WM_GETTEXT works across processes)
//   click ID              presses the button ID as a mouse click does (posted BM_CLICK)
//   command ID            posts WM_COMMAND ID to the main window, as a menu choice does
//   close                 the close box: posts WM_SYSCOMMAND SC_CLOSE
//   focus                 who has the keyboard focus in the game: "main", "control ID",
//                         "box" (a dialog or a control in one) or "none"
//   client                the client area: screen x and y of its origin, width and height
//   pixels X Y W H        "ok W H", then W*H*3 bytes of RGB read from the client area
//   watch MS RRGGBB X Y [X Y ...]
//                         polls until every listed client pixel shows the colour (hex);
//                         "ok" or "timeout"
//   box MS                waits for a dialog of the game; "ok CAPTION\tTEXT\tBUTTON-IDS"
//   dialog-count          the number of the game's visible dialogs
//   answer ID MS          presses button ID of the game's open dialog (IDOK 1, IDYES 6, IDNO 7)
//   quit                  ends the driver
// Texts are UTF-8. A command that cannot be carried out replies "error REASON".
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
constexpr int kPollMs = 10;
constexpr wchar_t kMainClass[] = L"MainWClass";
constexpr wchar_t kDialogClass[] = L"#32770";

HWND mainWindow = nullptr;

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], length, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(length - 1));
  return text;
}

// WM_GETTEXT rather than GetWindowText: only the message reaches a control of another process.
std::string WindowText(HWND hwnd) {
  wchar_t buffer[1024] = {};
  SendMessageW(hwnd, WM_GETTEXT, sizeof buffer / sizeof buffer[0], reinterpret_cast<LPARAM>(buffer));
  return Utf8(buffer);
}

void Reply(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool MainWindowAlive() { return mainWindow != nullptr && IsWindow(mainWindow); }

DWORD GameProcess() {
  DWORD process = 0;
  GetWindowThreadProcessId(mainWindow, &process);
  return process;
}

struct DialogSearch {
  DWORD process;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM lParam) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(lParam);
  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  if (process == search->process && std::wcscmp(className, kDialogClass) == 0 && IsWindowVisible(hwnd)) {
    search->found.push_back(hwnd);
  }
  return TRUE;
}

std::vector<HWND> GameDialogs() {
  DialogSearch search = {GameProcess(), {}};
  if (MainWindowAlive()) EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Waits for the game's one dialog; null after the time-out.
HWND WaitForDialog(int timeoutMs) {
  for (int waited = 0;; waited += kPollMs) {
    const std::vector<HWND> dialogs = GameDialogs();
    if (!dialogs.empty()) return dialogs.front();
    if (waited >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

std::string ClassOf(HWND hwnd) {
  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  return Utf8(className);
}

// The message text of a message box is its static control with id 0xFFFF.
std::string DescribeDialog(HWND dialog) {
  std::string text;
  std::string buttons;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string className = ClassOf(child);
    const int id = GetDlgCtrlID(child);
    if (_stricmp(className.c_str(), "Static") == 0 && id == 0xFFFF) text = WindowText(child);
    if (_stricmp(className.c_str(), "Button") == 0 && IsWindowVisible(child)) {
      if (!buttons.empty()) buttons += ',';
      buttons += std::to_string(id);
    }
  }
  return WindowText(dialog) + "\t" + text + "\t" + buttons;
}

void CommandWaitWindow(int timeoutMs) {
  for (int waited = 0;; waited += kPollMs) {
    mainWindow = FindWindowW(kMainClass, nullptr);
    if (mainWindow != nullptr && IsWindowVisible(mainWindow)) return Reply("ok");
    if (waited >= timeoutMs) return Reply("timeout");
    Sleep(kPollMs);
  }
}

void CommandFocus() {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(mainWindow, nullptr);
  if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == nullptr) return Reply("ok none");
  if (info.hwndFocus == mainWindow) return Reply("ok main");
  if (GetParent(info.hwndFocus) == mainWindow) {
    return Reply("ok control " + std::to_string(GetDlgCtrlID(info.hwndFocus)));
  }
  Reply("ok box");
}

void CommandClient() {
  RECT client = {};
  GetClientRect(mainWindow, &client);
  POINT origin = {0, 0};
  ClientToScreen(mainWindow, &origin);
  Reply("ok " + std::to_string(origin.x) + " " + std::to_string(origin.y) + " " +
        std::to_string(client.right) + " " + std::to_string(client.bottom));
}

// Reads what the window shows through its own device context, as a 24-bit top-down DIB.
void CommandPixels(int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return Reply("error empty area");
  const HDC windowDc = GetDC(mainWindow);
  const HDC memoryDc = CreateCompatibleDC(windowDc);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ previous = SelectObject(memoryDc, bitmap);
  BitBlt(memoryDc, 0, 0, width, height, windowDc, x, y, SRCCOPY);
  GdiFlush();
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  const unsigned char* bgrx = static_cast<const unsigned char*>(bits);
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
    rgb[3 * i] = bgrx[4 * i + 2];
    rgb[3 * i + 1] = bgrx[4 * i + 1];
    rgb[3 * i + 2] = bgrx[4 * i];
  }
  SelectObject(memoryDc, previous);
  DeleteObject(bitmap);
  DeleteDC(memoryDc);
  ReleaseDC(mainWindow, windowDc);
  Reply("ok " + std::to_string(width) + " " + std::to_string(height));
  std::fwrite(rgb.data(), 1, rgb.size(), stdout);
  std::fflush(stdout);
}

bool PixelsShow(const std::vector<POINT>& points, COLORREF colour) {
  const HDC windowDc = GetDC(mainWindow);
  bool all = true;
  for (const POINT& point : points) all = all && GetPixel(windowDc, point.x, point.y) == colour;
  ReleaseDC(mainWindow, windowDc);
  return all;
}

// Fast enough to catch something that stays on screen for a fifth of a second.
void CommandWatch(const std::string& line) {
  char name[32] = {};
  int timeoutMs = 0;
  unsigned rgb = 0;
  int consumed = 0;
  if (std::sscanf(line.c_str(), "%31s %d %x%n", name, &timeoutMs, &rgb, &consumed) != 3) {
    return Reply("error usage: watch MS RRGGBB X Y ...");
  }
  std::vector<POINT> points;
  const char* rest = line.c_str() + consumed;
  int x = 0;
  int y = 0;
  int used = 0;
  while (std::sscanf(rest, "%d %d%n", &x, &y, &used) == 2) {
    points.push_back({x, y});
    rest += used;
  }
  const COLORREF colour = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  const DWORD begin = GetTickCount();
  while (!PixelsShow(points, colour)) {
    if (GetTickCount() - begin >= static_cast<DWORD>(timeoutMs)) return Reply("timeout");
    Sleep(1);
  }
  Reply("ok");
}

void CommandBox(int timeoutMs) {
  const HWND dialog = WaitForDialog(timeoutMs);
  if (dialog == nullptr) return Reply("timeout");
  Reply("ok " + DescribeDialog(dialog));
}

void CommandAnswer(int buttonId, int timeoutMs) {
  const HWND dialog = WaitForDialog(timeoutMs);
  if (dialog == nullptr) return Reply("timeout");
  const HWND button = GetDlgItem(dialog, buttonId);
  if (button == nullptr) return Reply("error no button " + std::to_string(buttonId));
  // Posted, not sent: the game's reply to the press may be another modal box.
  PostMessageW(button, BM_CLICK, 0, 0);
  Reply("ok");
}

// Runs one command line; returns false for "quit".
bool Execute(const std::string& line) {
  char name[32] = {};
  int a = 0;
  int b = 0;
  int c = 0;
  int d = 0;
  const int count = std::sscanf(line.c_str(), "%31s %d %d %d %d", name, &a, &b, &c, &d);
  const std::string command = count >= 1 ? name : "";
  if (command == "quit") return false;
  if (command == "wait-window") {
    CommandWaitWindow(a);
    return true;
  }
  if (command == "window-count") {
    int windows = 0;
    for (HWND hwnd = FindWindowW(kMainClass, nullptr); hwnd != nullptr;
         hwnd = FindWindowExW(nullptr, hwnd, kMainClass, nullptr)) {
      ++windows;
    }
    Reply("ok " + std::to_string(windows));
    return true;
  }
  if (command == "exists") {
    Reply(MainWindowAlive() ? "ok 1" : "ok 0");
    return true;
  }
  if (!MainWindowAlive()) {
    Reply("error no main window");
    return true;
  }
  if (command == "title") {
    Reply("ok " + WindowText(mainWindow));
  } else if (command == "text" && count == 2) {
    const HWND control = GetDlgItem(mainWindow, a);
    Reply(control == nullptr ? "error no control " + std::to_string(a) : "ok " + WindowText(control));
  } else if (command == "click" && count == 2) {
    const HWND control = GetDlgItem(mainWindow, a);
    if (control == nullptr) {
      Reply("error no control " + std::to_string(a));
    } else {
      PostMessageW(control, BM_CLICK, 0, 0);
      Reply("ok");
    }
  } else if (command == "command" && count == 2) {
    PostMessageW(mainWindow, WM_COMMAND, static_cast<WPARAM>(a), 0);
    Reply("ok");
  } else if (command == "close") {
    PostMessageW(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    Reply("ok");
  } else if (command == "focus") {
    CommandFocus();
  } else if (command == "client") {
    CommandClient();
  } else if (command == "pixels" && count == 5) {
    CommandPixels(a, b, c, d);
  } else if (command == "watch") {
    CommandWatch(line);
  } else if (command == "box" && count == 2) {
    CommandBox(a);
  } else if (command == "dialog-count") {
    Reply("ok " + std::to_string(GameDialogs().size()));
  } else if (command == "answer" && count == 3) {
    CommandAnswer(a, b);
  } else {
    Reply("error unknown command: " + line);
  }
  return true;
}
}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  char buffer[1024];
  while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
    std::string line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!Execute(line)) break;
  }
  return 0;
}
