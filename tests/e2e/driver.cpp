// smorvala-e2e-driver: the end-to-end suite's eyes beside SMorvala.exe. It runs in the same Wine
// session as the game and reads what a player sees (texts, pixels, the focus, the boxes); the
// suite's hands are real keys and mouse clicks on the X display. One command per line on
// standard input, one reply on standard output:
//   wait-window MS        waits for the main window; "ok" or "timeout"
//   window-count          "ok N": how many main windows of the game exist
//   exists                "ok 1" while the main window exists, "ok 0" after it is gone
//   title                 the main window's title
//   thread                "ok TID": the thread that runs the main window
//   has-menu              "ok 1" if the main window has a menu bar
//   menu-resource         "ok N" and N lines "ID POPUP TEXT": the program's menu 103 as the
//                         system's menu loader reads it from the program file (menus of
//                         another process cannot be read through its window)
//   program               "ok PATH": the program file of the game's process
//   text ID               the text of the child control ID (WM_GETTEXT works across processes)
//   focus                 who has the keyboard focus in the game: "main", "control ID", "box"
//                         (a dialog), "box control ID" (a control in a dialog) or "none"
//   desktop NAME MS       waits up to MS for the Wine desktop NAME (a virtual desktop, made by
//                         "explorer /desktop=NAME,WxH") and reads the game's windows there from
//                         then on; "ok" or "timeout"
//   client                the client area: screen x and y of its origin, width and height
//   placement             "ok L T R B  L T R B  L T R B": the main window's outer rectangle, and
//                         the screen and the work area of the monitor it lies on
//   pixels X Y W H        "ok W H", then W*H*3 bytes of RGB read from the client area
//   watch MS is|not RRGGBB X Y [X Y ...]
//                         polls until every listed client pixel shows the colour (is) or none
//                         does (not); "ok" or "timeout"
//   box MS                waits for a dialog of the game; "ok CAPTION\tTEXT\tID=TEXT\t...",
//                         one ID=TEXT for each visible button
//   dialog-count          the number of the game's visible dialogs
//   dialog-owner          "ok 1" if the main window owns the dialog and is disabled by it
//   dialog-client         "ok X Y W H": the dialog's client area, its origin on the screen
//   dialog-pixels X Y W H as pixels, from the dialog's client area
//   dialog-items          "ok N" and N lines "CLASS ID STYLE LEFT TOP WIDTH HEIGHT TEXT",
//                         the dialog's controls in creation order, rectangles in client pixels
//   dialog-units FONT PT  "ok X Y": the dialog base units of a template font, as the dialog
//                         manager computes them (average width of a-z A-Z, and height)
//   track MS MAX [ID]     watches the cells of the board and the preview for MS milliseconds
//                         or until MAX changes; "started" once it has read them first, and in the
//                         end "ok LINES POLLS MS-WATCHED START", then one line per
//                         change "change T BEFORE RRGGBB..." (read at T, and not yet at the read
//                         before, at BEFORE: the centres of columns 0 to 15 of rows 0 to 22, row
//                         by row, the first line being the picture at the start),
//                         "box-closed T" once the dialog open at the start has gone and, with
//                         ID, "text T TEXT" for the text of that control at the start and at
//                         each change, times in milliseconds from the start; START in the
//                         reply "ok LINES POLLS MS-WATCHED START" is the start on the clock
//   clock                 "ok MS": the time on Wine's performance counter, in milliseconds
//   responsive MS         "ok 1" if the game's window answers a message within MS, else "ok 0"
//   window-info           "ok CLASS WIDTH HEIGHT STYLE ID:CLASS ...": the main window's class,
//                         outer size, style (hex) and its child controls
//   repaint               repaints the main window without erasing, and returns once it is done
//   resources             "ok WORKING-SET PAGEFILE GDI USER SOURCE": the game's memory in bytes
//                         and its GDI and USER object counts, from GetGuiResources where the
//                         system has it (SOURCE "system") or else, under Wine, the GDI handle
//                         table in the game's memory and the count of its windows ("wine")
//   launch-time CLASS MS X Y RRGGBB|window PATH
//                         starts PATH, times until a visible window of CLASS of that process
//                         exists and until its client pixel X Y shows the colour (or the
//                         system's window colour), then ends that process; "ok WINDOW PAINT"
//                         in milliseconds from the start, or "timeout"
//   controls MS TITLE     waits up to MS for a visible top-level window of any program whose
//                         title starts with TITLE (the topmost, where several do); "ok N" and N lines
//                         "CLASS ID CHECKED ENABLED LEFT TOP RIGHT BOTTOM TEXT" for its visible
//                         controls at every depth, rectangles on the screen, the texts' line
//                         breaks and backslashes written \r, \n and \\; or "timeout"
//   quit                  ends the driver
// Texts are UTF-8. A command that cannot be carried out replies "error REASON".
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

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

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

std::string Number(long long value) { return std::to_string(value); }

// WM_GETTEXT rather than GetWindowText: only the message reaches a control of another process.
std::string WindowText(HWND hwnd) {
  wchar_t buffer[1024] = {};
  SendMessageW(hwnd, WM_GETTEXT, sizeof buffer / sizeof buffer[0], reinterpret_cast<LPARAM>(buffer));
  return Utf8(buffer);
}

std::string ClassOf(HWND hwnd) {
  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  return Utf8(className);
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
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  if (process == search->process && ClassOf(hwnd) == Utf8(kDialogClass) && IsWindowVisible(hwnd)) {
    search->found.push_back(hwnd);
  }
  return TRUE;
}

// The game's visible dialogs: its message boxes and its About box.
std::vector<HWND> GameDialogs() {
  DialogSearch search = {GameProcess(), {}};
  if (MainWindowAlive()) EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND GameDialog() {
  const std::vector<HWND> dialogs = GameDialogs();
  return dialogs.empty() ? nullptr : dialogs.front();
}

// Waits for the game's one dialog; null after the time-out.
HWND WaitForDialog(int timeoutMs) {
  for (int waited = 0;; waited += kPollMs) {
    const HWND dialog = GameDialog();
    if (dialog != nullptr) return dialog;
    if (waited >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
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
      buttons += "\t" + Number(id) + "=" + WindowText(child);
    }
  }
  return WindowText(dialog) + "\t" + text + buttons;
}

void CommandWaitWindow(int timeoutMs) {
  for (int waited = 0;; waited += kPollMs) {
    mainWindow = FindWindowW(kMainClass, nullptr);
    if (mainWindow != nullptr && IsWindowVisible(mainWindow)) return Reply("ok");
    if (waited >= timeoutMs) return Reply("timeout");
    Sleep(kPollMs);
  }
}

// The program file of the game's process; empty where it cannot be named.
std::wstring GameProgramPath() {
  const HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GameProcess());
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  const BOOL named = handle != nullptr && QueryFullProcessImageNameW(handle, 0, path, &size);
  if (handle != nullptr) CloseHandle(handle);
  return named ? path : L"";
}

void CommandMenuResource() {
  const std::wstring path = GameProgramPath();
  if (path.empty()) return Reply("error cannot name the game's program file");
  const HMODULE program = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (program == nullptr) return Reply("error cannot load the program file");
  const HMENU menu = LoadMenuW(program, MAKEINTRESOURCEW(kMainMenuId));
  if (menu == nullptr) {
    FreeLibrary(program);
    return Reply("error no menu " + Number(kMainMenuId));
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

void CommandFocus() {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(mainWindow, nullptr);
  if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == nullptr) return Reply("ok none");
  const HWND focus = info.hwndFocus;
  if (focus == mainWindow) return Reply("ok main");
  const HWND parent = GetParent(focus);
  if (parent == mainWindow) return Reply("ok control " + Number(GetDlgCtrlID(focus)));
  if (parent != nullptr && ClassOf(parent) == Utf8(kDialogClass)) {
    return Reply("ok box control " + Number(GetDlgCtrlID(focus)));
  }
  Reply("ok box");
}

// A window's client area: its origin on the screen, its width and height.
void CommandClient(HWND hwnd) {
  RECT client = {};
  GetClientRect(hwnd, &client);
  POINT origin = {0, 0};
  ClientToScreen(hwnd, &origin);
  Reply("ok " + Number(origin.x) + " " + Number(origin.y) + " " + Number(client.right) + " " +
        Number(client.bottom));
}

// The word and the number after the command's name in "COMMAND WORD NUMBER".
bool ReadWordAndNumber(const std::string& line, char (&word)[64], int& number) {
  char command[32] = {};
  return std::sscanf(line.c_str(), "%31s %63s %d", command, word, &number) == 3;
}

std::string Corners(const RECT& rect) {
  return Number(rect.left) + " " + Number(rect.top) + " " + Number(rect.right) + " " + Number(rect.bottom);
}

void CommandPlacement() {
  RECT outer = {};
  GetWindowRect(mainWindow, &outer);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(mainWindow, MONITOR_DEFAULTTONEAREST), &monitor);
  Reply("ok " + Corners(outer) + "  " + Corners(monitor.rcMonitor) + "  " + Corners(monitor.rcWork));
}

// A program sees the windows of its own thread's desktop only: the game in a virtual desktop is
// found once this thread has moved there. The thread owns no window yet, so it may move.
void CommandDesktop(const std::string& line) {
  char desktopName[64] = {};
  int timeoutMs = 0;
  if (!ReadWordAndNumber(line, desktopName, timeoutMs)) return Reply("error usage: desktop NAME MS");
  for (int waited = 0;; waited += kPollMs) {
    const HDESK desktop = OpenDesktopW(Wide(desktopName).c_str(), 0, FALSE, GENERIC_ALL);
    if (desktop != nullptr) {
      if (!SetThreadDesktop(desktop)) return Reply("error cannot move to the desktop");
      return Reply("ok");
    }
    if (waited >= timeoutMs) return Reply("timeout");
    Sleep(kPollMs);
  }
}

// Reads what the window shows through its own device context, as a 24-bit top-down DIB.
void CommandPixels(HWND window, int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return Reply("error empty area");
  const HDC windowDc = GetDC(window);
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
  ReleaseDC(window, windowDc);
  Reply("ok " + Number(width) + " " + Number(height));
  std::fwrite(rgb.data(), 1, rgb.size(), stdout);
  std::fflush(stdout);
}

// How many of the points show the colour.
std::size_t PixelsShowing(const std::vector<POINT>& points, COLORREF colour) {
  const HDC windowDc = GetDC(mainWindow);
  std::size_t showing = 0;
  for (const POINT& point : points) showing += GetPixel(windowDc, point.x, point.y) == colour ? 1 : 0;
  ReleaseDC(mainWindow, windowDc);
  return showing;
}

// Fast enough to catch something that stays on screen for a fifth of a second.
void CommandWatch(const std::string& line) {
  char name[32] = {};
  char mode[8] = {};
  int timeoutMs = 0;
  unsigned rgb = 0;
  int consumed = 0;
  if (std::sscanf(line.c_str(), "%31s %d %7s %x%n", name, &timeoutMs, mode, &rgb, &consumed) != 4 ||
      (std::strcmp(mode, "is") != 0 && std::strcmp(mode, "not") != 0)) {
    return Reply("error usage: watch MS is|not RRGGBB X Y ...");
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
  const std::size_t wanted = std::strcmp(mode, "is") == 0 ? points.size() : 0;
  const COLORREF colour = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  const DWORD begin = GetTickCount();
  while (PixelsShowing(points, colour) != wanted) {
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

// The dialog manager's own conversion: the template font at the screen's resolution, its
// average character width over the 52 Latin letters and its height.
void CommandDialogUnits(const std::string& line) {
  char font[64] = {};
  int points = 0;
  if (!ReadWordAndNumber(line, font, points)) return Reply("error usage: dialog-units FONT POINTS");
  const HDC screen = GetDC(nullptr);
  const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  const HFONT handle = CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0,
                                   0, PROOF_QUALITY, FF_DONTCARE, Wide(font).c_str());
  const HGDIOBJ previous = SelectObject(screen, handle);
  LONG baseY = 0;
  const LONG baseX = GdiGetCharDimensions(screen, nullptr, &baseY);
  SelectObject(screen, previous);
  DeleteObject(handle);
  ReleaseDC(nullptr, screen);
  Reply("ok " + Number(baseX) + " " + Number(baseY));
}

void CommandDialogItems(HWND dialog) {
  std::vector<HWND> items;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    items.push_back(child);
  }
  // Children are listed top of the z-order first, which is creation order for a dialog.
  Reply("ok " + Number(static_cast<long long>(items.size())));
  for (HWND item : items) {
    RECT rect = {};
    GetWindowRect(item, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    const LONG style = GetWindowLongW(item, GWL_STYLE);
    Reply(ClassOf(item) + " " + Number(GetDlgCtrlID(item)) + " " + Number(static_cast<unsigned long>(style)) +
          " " + Number(rect.left) + " " + Number(rect.top) + " " + Number(rect.right - rect.left) + " " +
          Number(rect.bottom - rect.top) + " " + WindowText(item));
  }
}

// Milliseconds on the performance counter: Wine's tick count moves in steps too coarse to time
// a fall step within a timer quantum. The counter is one clock for every process under Wine.
double Milliseconds(LONGLONG counts) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counts) / static_cast<double>(frequency.QuadPart);
}

double MillisecondsSince(const LARGE_INTEGER& begin) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return Milliseconds(now.QuadPart - begin.QuadPart);
}

std::string FormatMs(double milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", milliseconds);
  return text;
}

// The cells the tracker reads: the whole board and, to its right, the preview piece's columns.
constexpr int kTrackColumns = 16;
constexpr int kTrackRows = 23;
constexpr int kCellPitch = 22;
constexpr int kTrackLeft = 14;
constexpr int kTrackTop = 17;

// One read of the window through a DIB: the centre pixel of every tracked cell, as hex.
class CellReader {
 public:
  CellReader()
      : width_(kCellPitch * (kTrackColumns - 1) + 21), height_(kCellPitch * (kTrackRows - 1) + 21) {
    windowDc_ = GetDC(mainWindow);
    memoryDc_ = CreateCompatibleDC(windowDc_);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_ = CreateDIBSection(memoryDc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    previous_ = SelectObject(memoryDc_, bitmap_);
  }
  ~CellReader() {
    SelectObject(memoryDc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(memoryDc_);
    ReleaseDC(mainWindow, windowDc_);
  }
  CellReader(const CellReader&) = delete;
  CellReader& operator=(const CellReader&) = delete;

  std::string Read() {
    BitBlt(memoryDc_, 0, 0, width_, height_, windowDc_, kTrackLeft, kTrackTop, SRCCOPY);
    GdiFlush();
    const unsigned char* bgrx = static_cast<const unsigned char*>(bits_);
    std::string cells;
    char hex[8];
    for (int row = 0; row < kTrackRows; ++row) {
      for (int column = 0; column < kTrackColumns; ++column) {
        const std::size_t at = 4 * (static_cast<std::size_t>(kCellPitch * row + 10) * width_ + kCellPitch * column + 10);
        std::snprintf(hex, sizeof hex, "%02x%02x%02x", bgrx[at + 2], bgrx[at + 1], bgrx[at]);
        cells += hex;
      }
    }
    return cells;
  }

 private:
  int width_;
  int height_;
  HDC windowDc_ = nullptr;
  HDC memoryDc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  void* bits_ = nullptr;
};

void CommandTrack(int timeoutMs, int maxChanges, int controlId) {
  std::vector<std::string> lines;
  CellReader reader;
  const HWND control = controlId != 0 ? GetDlgItem(mainWindow, controlId) : nullptr;
  std::string lastText;
  LARGE_INTEGER begin;
  QueryPerformanceCounter(&begin);
  std::string last;
  // Only the dialog open at the start is watched: one window's state is cheap to read at
  // every poll, a search of all windows is not.
  HWND dialog = GameDialog();
  int changes = 0;
  int polls = 0;
  double readBefore = 0;
  for (;;) {
    const double readAt = MillisecondsSince(begin);
    if (readAt >= timeoutMs) break;
    if (dialog != nullptr && !IsWindowVisible(dialog)) {
      lines.push_back("box-closed " + FormatMs(readAt));
      dialog = nullptr;
    }
    if (control != nullptr) {
      const std::string text = WindowText(control);
      if (polls == 0 || text != lastText) lines.push_back("text " + FormatMs(readAt) + " " + text);
      lastText = text;
    }
    const std::string cells = reader.Read();
    // Whoever acts on the game waits for this, so that the first picture comes before it.
    if (++polls == 1) Reply("started");
    if (cells != last) {
      lines.push_back("change " + FormatMs(readAt) + " " + FormatMs(readBefore) + " " + cells);
      last = cells;
      // The first line is the picture at the start, not a change.
      if (++changes > maxChanges) break;
    }
    readBefore = readAt;
    Sleep(1);
  }
  Reply("ok " + Number(static_cast<long long>(lines.size())) + " " + Number(polls) + " " +
        FormatMs(MillisecondsSince(begin)) + " " + FormatMs(Milliseconds(begin.QuadPart)));
  for (const std::string& text : lines) Reply(text);
}

BOOL CALLBACK DescribeChild(HWND child, LPARAM lParam) {
  std::string* text = reinterpret_cast<std::string*>(lParam);
  *text += " " + Number(GetDlgCtrlID(child)) + ":" + ClassOf(child);
  return TRUE;
}

void CommandWindowInfo() {
  RECT outer = {};
  GetWindowRect(mainWindow, &outer);
  char style[16];
  std::snprintf(style, sizeof style, "%lx", static_cast<unsigned long>(GetWindowLongW(mainWindow, GWL_STYLE)));
  std::string text = "ok " + ClassOf(mainWindow) + " " + Number(outer.right - outer.left) + " " +
                     Number(outer.bottom - outer.top) + " " + style;
  EnumChildWindows(mainWindow, DescribeChild, reinterpret_cast<LPARAM>(&text));
  Reply(text);
}

// Wine keeps each process's GDI objects in a table in that process's memory, pointed to from its
// PEB, 24 bytes an entry with a non-zero 16-bit "unique" field at offset 14 while in use. The
// layout is checked on this process's own table first, so a different Wine reads "unknown".
constexpr std::size_t kGdiEntries = 65536;
constexpr std::size_t kGdiEntrySize = 24;
constexpr std::size_t kGdiUniqueOffset = 14;
constexpr std::size_t kPebGdiTableOffset = 0x94;

long CountGdiTable(const unsigned char* table) {
  long used = 0;
  for (std::size_t i = 0; i < kGdiEntries; ++i) {
    const unsigned char* unique = table + i * kGdiEntrySize + kGdiUniqueOffset;
    if (unique[0] != 0 || unique[1] != 0) ++used;
  }
  return used;
}

// Reads another process's GDI table; -1 if it cannot.
long GdiTableCount(HANDLE process) {
  using QueryProcess = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  const QueryProcess query = reinterpret_cast<QueryProcess>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic = {};
  if (query == nullptr || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return -1;
  void* table = nullptr;
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<const char*>(basic.PebBaseAddress) + kPebGdiTableOffset, &table,
                         sizeof table, &read) ||
      table == nullptr) {
    return -1;
  }
  std::vector<unsigned char> copy(kGdiEntries * kGdiEntrySize);
  if (!ReadProcessMemory(process, table, copy.data(), copy.size(), &read) || read != copy.size()) return -1;
  return CountGdiTable(copy.data());
}

bool GdiTableLayoutHolds() {
  static int holds = -1;
  if (holds >= 0) return holds == 1;
  const long before = GdiTableCount(GetCurrentProcess());
  HBRUSH brushes[8];
  for (HBRUSH& brush : brushes) brush = CreateSolidBrush(RGB(1, 2, 3));
  const long during = GdiTableCount(GetCurrentProcess());
  for (HBRUSH brush : brushes) DeleteObject(brush);
  const long after = GdiTableCount(GetCurrentProcess());
  holds = before >= 0 && during == before + 8 && after == before ? 1 : 0;
  return holds == 1;
}

struct WindowCount {
  DWORD process;
  long count;
};

BOOL CALLBACK CountChild(HWND, LPARAM lParam) {
  ++reinterpret_cast<WindowCount*>(lParam)->count;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM lParam) {
  WindowCount* windows = reinterpret_cast<WindowCount*>(lParam);
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  if (process == windows->process) {
    ++windows->count;
    EnumChildWindows(hwnd, CountChild, lParam);
  }
  return TRUE;
}

void CommandResources() {
  const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GameProcess());
  if (process == nullptr) return Reply("error cannot open the game's process");
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process, &memory, sizeof memory);
  SetLastError(0);
  const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
  const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
  std::string counts;
  if (gdi != 0 && GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) {
    counts = std::to_string(gdi) + " " + std::to_string(user) + " system";
  } else {
    WindowCount windows = {GameProcess(), 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
    const long table = GdiTableLayoutHolds() ? GdiTableCount(process) : -1;
    counts = (table >= 0 ? std::to_string(table) : std::string("unknown")) + " " + std::to_string(windows.count) + " wine";
  }
  CloseHandle(process);
  Reply("ok " + std::to_string(memory.WorkingSetSize) + " " + std::to_string(memory.PagefileUsage) + " " + counts);
}

struct ProcessWindow {
  DWORD process;
  std::wstring className;
  HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND hwnd, LPARAM lParam) {
  ProcessWindow* search = reinterpret_cast<ProcessWindow*>(lParam);
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  if (process == search->process && search->className == className && IsWindowVisible(hwnd)) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

void CommandLaunchTime(const std::string& line) {
  char name[32] = {};
  char path[MAX_PATH] = {};
  char className[64] = {};
  char colourText[16] = {};
  int timeoutMs = 0;
  int x = 0;
  int y = 0;
  int consumed = 0;
  if (std::sscanf(line.c_str(), "%31s %63s %d %d %d %15s %n", name, className, &timeoutMs, &x, &y, colourText,
                  &consumed) != 6 ||
      line.size() <= static_cast<std::size_t>(consumed) || line.size() - consumed >= sizeof path) {
    return Reply("error usage: launch-time CLASS MS X Y RRGGBB|window PATH");
  }
  // The path is the rest of the line, so that it may hold blanks.
  std::strcpy(path, line.c_str() + consumed);
  COLORREF colour = GetSysColor(COLOR_WINDOW);
  if (std::strcmp(colourText, "window") != 0) {
    const unsigned rgb = static_cast<unsigned>(std::strtoul(colourText, nullptr, 16));
    colour = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  }
  std::wstring commandLine = L"\"" + Wide(path) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  LARGE_INTEGER begin;
  QueryPerformanceCounter(&begin);
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    return Reply("error cannot start " + std::string(path));
  }
  ProcessWindow search = {started.dwProcessId, Wide(className), nullptr};
  double windowAt = -1;
  double paintAt = -1;
  while (MillisecondsSince(begin) < timeoutMs) {
    if (search.found == nullptr) {
      EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr) windowAt = MillisecondsSince(begin);
    }
    if (search.found != nullptr) {
      const HDC dc = GetDC(search.found);
      const bool painted = GetPixel(dc, x, y) == colour;
      ReleaseDC(search.found, dc);
      if (painted) {
        paintAt = MillisecondsSince(begin);
        break;
      }
    }
    Sleep(1);
  }
  // Only the process started here is ended, by its own handle.
  TerminateProcess(started.hProcess, 0);
  WaitForSingleObject(started.hProcess, 10000);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  if (paintAt < 0) return Reply("timeout");
  Reply("ok " + FormatMs(windowAt) + " " + FormatMs(paintAt));
}

struct TitledWindow {
  std::string title;
  HWND found;
};

BOOL CALLBACK FindTitledWindow(HWND hwnd, LPARAM lParam) {
  TitledWindow* search = reinterpret_cast<TitledWindow*>(lParam);
  if (!IsWindowVisible(hwnd) || WindowText(hwnd).rfind(search->title, 0) != 0) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// A text on one line: its line breaks and backslashes written as \r, \n and \\.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    line += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\\' ? "\\\\" : std::string(1, c);
  }
  return line;
}

BOOL CALLBACK CollectControl(HWND control, LPARAM lParam) {
  if (!IsWindowVisible(control)) return TRUE;
  RECT rect = {};
  GetWindowRect(control, &rect);
  const LRESULT checked = ClassOf(control) == "Button" ? SendMessageW(control, BM_GETCHECK, 0, 0) : 0;
  reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(
      ClassOf(control) + " " + Number(GetDlgCtrlID(control)) + " " + Number(checked) + " " +
      Number(IsWindowEnabled(control) ? 1 : 0) + " " + Corners(rect) + " " + OneLine(WindowText(control)));
  return TRUE;
}

// The controls of another program's window, such as a setup program's pages, found by the start
// of its title, which a wizard may change from page to page: the rest of the line, so that it may
// hold blanks.
void CommandControls(const std::string& line) {
  int timeoutMs = 0;
  int consumed = 0;
  if (std::sscanf(line.c_str(), "%*s %d %n", &timeoutMs, &consumed) != 1 || consumed == 0) {
    return Reply("error usage: controls MS TITLE");
  }
  TitledWindow search = {line.substr(static_cast<std::size_t>(consumed)), nullptr};
  for (int waited = 0; search.found == nullptr; waited += kPollMs) {
    EnumWindows(FindTitledWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr && waited >= timeoutMs) return Reply("timeout");
    if (search.found == nullptr) Sleep(kPollMs);
  }
  std::vector<std::string> controls;
  EnumChildWindows(search.found, CollectControl, reinterpret_cast<LPARAM>(&controls));
  Reply("ok " + Number(static_cast<long long>(controls.size())));
  for (const std::string& control : controls) Reply(control);
}

// The commands on the game's open dialog.
void ExecuteOnDialog(const std::string& command, int count, int x, int y, int width, int height) {
  const HWND dialog = GameDialog();
  if (dialog == nullptr) return Reply("error no dialog");
  if (command == "dialog-pixels" && count == 5) {
    CommandPixels(dialog, x, y, width, height);
  } else if (command == "dialog-owner") {
    Reply(GetWindow(dialog, GW_OWNER) == mainWindow && !IsWindowEnabled(mainWindow) ? "ok 1" : "ok 0");
  } else if (command == "dialog-client") {
    CommandClient(dialog);
  } else if (command == "dialog-items") {
    CommandDialogItems(dialog);
  } else {
    Reply("error usage: dialog-pixels X Y W H");
  }
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
  } else if (command == "window-count") {
    int windows = 0;
    for (HWND hwnd = FindWindowW(kMainClass, nullptr); hwnd != nullptr;
         hwnd = FindWindowExW(nullptr, hwnd, kMainClass, nullptr)) {
      ++windows;
    }
    Reply("ok " + Number(windows));
  } else if (command == "exists") {
    Reply(MainWindowAlive() ? "ok 1" : "ok 0");
  } else if (command == "clock") {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    Reply("ok " + FormatMs(Milliseconds(now.QuadPart)));
  } else if (command == "launch-time") {
    CommandLaunchTime(line);
  } else if (command == "dialog-units") {
    CommandDialogUnits(line);
  } else if (command == "desktop") {
    CommandDesktop(line);
  } else if (command == "controls") {
    CommandControls(line);
  } else if (command == "dialog-count") {
    // None once the game has ended.
    Reply("ok " + Number(static_cast<long long>(GameDialogs().size())));
  } else if (!MainWindowAlive()) {
    Reply("error no main window");
  } else if (command == "title") {
    Reply("ok " + WindowText(mainWindow));
  } else if (command == "thread") {
    Reply("ok " + Number(GetWindowThreadProcessId(mainWindow, nullptr)));
  } else if (command == "has-menu") {
    Reply(GetMenu(mainWindow) != nullptr ? "ok 1" : "ok 0");
  } else if (command == "menu-resource") {
    CommandMenuResource();
  } else if (command == "program") {
    const std::wstring path = GameProgramPath();
    Reply(path.empty() ? "error cannot name the game's program file" : "ok " + Utf8(path));
  } else if (command == "text" && count == 2) {
    const HWND control = GetDlgItem(mainWindow, a);
    Reply(control == nullptr ? "error no control " + Number(a) : "ok " + WindowText(control));
  } else if (command == "focus") {
    CommandFocus();
  } else if (command == "client") {
    CommandClient(mainWindow);
  } else if (command == "placement") {
    CommandPlacement();
  } else if (command == "pixels" && count == 5) {
    CommandPixels(mainWindow, a, b, c, d);
  } else if (command == "watch") {
    CommandWatch(line);
  } else if (command == "box" && count == 2) {
    CommandBox(a);
  } else if (command == "dialog-owner" || command == "dialog-client" || command == "dialog-items" ||
             command == "dialog-pixels") {
    ExecuteOnDialog(command, count, a, b, c, d);
  } else if (command == "track" && (count == 3 || count == 4)) {
    CommandTrack(a, b, count == 4 ? c : 0);
  } else if (command == "responsive" && count == 2) {
    DWORD_PTR result = 0;
    const LRESULT answered = SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, static_cast<UINT>(a), &result);
    Reply(answered != 0 ? "ok 1" : "ok 0");
  } else if (command == "window-info") {
    CommandWindowInfo();
  } else if (command == "repaint") {
    RedrawWindow(mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Reply("ok");
  } else if (command == "resources") {
    CommandResources();
  } else {
    Reply("error unknown command: " + line);
  }
  return true;
}
}  // namespace

int main() {
  // Replies end in a bare newline, as the suite reads them.
  _setmode(_fileno(stdout), _O_BINARY);
  char buffer[1024];
  while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
    std::string line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!Execute(line)) break;
  }
  return 0;
}
