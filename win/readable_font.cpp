#include "win/readable_font.h"

#include "game/texts.h"
#include "win/win32_conversions.h"

namespace {
// The system font as a Chinese Windows describes it at 96 DPI, where it draws the controls: a
// bold face of the GB2312 character set, its line 16 pixels high, its characters 7 wide on
// average. With the same description the labels look as they do there.
constexpr LONG kLabelFontHeight = 16;
constexpr LONG kLabelFontWidth = 7;

// Each made the first time a window needs it and kept for the life of the process, like the
// palette's brushes.
HFONT labelFont = nullptr;
HFONT dialogFont = nullptr;

// The texts of one window, run together: far fewer characters than this in every window.
struct Characters {
  static constexpr int kCapacity = 512;
  wchar_t text[kCapacity];
  int length = 0;

  void Append(const wchar_t* more) {
    while (*more != L'\0' && length < kCapacity) text[length++] = *more++;
  }
};

// Whether the font selected into `dc` draws every character with a glyph of its own. An outline
// font draws a character it lacks as an empty box, and tells which it lacks; a raster font has
// the glyphs of its character set, and draws any other character as its default one.
bool DrawsEveryCharacter(HDC dc, const Characters& characters) {
  TEXTMETRICW metrics;
  GetTextMetricsW(dc, &metrics);
  if ((metrics.tmPitchAndFamily & TMPF_VECTOR) != 0) {
    WORD glyphs[Characters::kCapacity];
    if (GetGlyphIndicesW(dc, characters.text, characters.length, glyphs, GGI_MARK_NONEXISTING_GLYPHS) ==
        GDI_ERROR) {
      return false;
    }
    for (int i = 0; i < characters.length; ++i) {
      if (glyphs[i] == 0xFFFF) return false;
    }
    return true;
  }
  CHARSETINFO charset;
  if (!TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<DWORD_PTR>(metrics.tmCharSet)), &charset,
                            TCI_SRCCHARSET)) {
    return false;
  }
  char bytes[2 * Characters::kCapacity];
  BOOL defaultUsed = FALSE;
  return WideCharToMultiByte(charset.ciACP, WC_NO_BEST_FIT_CHARS, characters.text, characters.length, bytes,
                             sizeof bytes, nullptr, &defaultUsed) != 0 &&
         !defaultUsed;
}

// Whether `font` draws every character of `characters` and, when `tallestLine` is not 0, a line
// no taller than that.
bool DrawsWhole(HWND window, HFONT font, const Characters& characters, LONG tallestLine) {
  const HDC dc = GetDC(window);
  const HGDIOBJ previous = SelectObject(dc, font);
  TEXTMETRICW metrics;
  GetTextMetricsW(dc, &metrics);
  const bool whole = DrawsEveryCharacter(dc, characters) && (tallestLine == 0 || metrics.tmHeight <= tallestLine);
  SelectObject(dc, previous);
  ReleaseDC(window, dc);
  return whole;
}

void SetFontOfChildren(HWND parent, HFONT font) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
}

// The level and score boxes have no border and start their line at their top edge: a line
// fits in every control where it is no taller than the smallest.
LONG SmallestChildHeight(HWND parent) {
  LONG smallest = 0;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT client;
    GetClientRect(child, &client);
    if (smallest == 0 || client.bottom < smallest) smallest = client.bottom;
  }
  return smallest;
}

// Every text the controls ever show: the buttons' words, and the level and score boxes' texts
// with any number in them.
const char* const kControlTexts[] = {text::kStart,      text::kRestart,    text::kPause,
                                     text::kContinue,   text::kExit,       text::kFirstLevel,
                                     text::kFirstScore, text::kScoreAfterRestart, text::kScorePrefix};

Characters ControlTexts() {
  Characters characters;
  for (const char* text : kControlTexts) characters.Append(Utf16FromUtf8(text).c_str());
  characters.Append(L"0123456789");
  return characters;
}
}  // namespace

void GiveControlsReadableFont(HWND mainWindow) {
  if (DrawsWhole(mainWindow, static_cast<HFONT>(GetStockObject(SYSTEM_FONT)), ControlTexts(),
                 SmallestChildHeight(mainWindow))) {
    return;
  }
  if (labelFont == nullptr) {
    labelFont = CreateFontW(kLabelFontHeight, kLabelFontWidth, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"");
  }
  SetFontOfChildren(mainWindow, labelFont);
}

void GiveDialogReadableFont(HWND dialog) {
  Characters characters;
  for (HWND item = GetWindow(dialog, GW_CHILD); item != nullptr; item = GetWindow(item, GW_HWNDNEXT)) {
    wchar_t text[Characters::kCapacity];
    GetWindowTextW(item, text, Characters::kCapacity);
    characters.Append(text);
  }
  const HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  if (DrawsWhole(dialog, font, characters, 0)) return;
  if (dialogFont == nullptr) {
    LOGFONTW chinese;
    GetObjectW(font, sizeof chinese, &chinese);
    chinese.lfCharSet = GB2312_CHARSET;
    // No face: the system picks one of the character set.
    chinese.lfFaceName[0] = L'\0';
    dialogFont = CreateFontIndirectW(&chinese);
  }
  SetFontOfChildren(dialog, dialogFont);
}
