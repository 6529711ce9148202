// Between the platform seam's own types and Win32's: opaque handles, 0xRRGGBB colours and
// UTF-8 texts on one side; HWND, HDC, COLORREF and UTF-16 on the other.
#ifndef SMORVALA_WIN32_CONVERSIONS_H
#define SMORVALA_WIN32_CONVERSIONS_H

#include <windows.h>

#include "game/platform.h"

inline HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
inline WindowHandle ToWindowHandle(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }
inline HDC ToHdc(DrawContext dc) { return reinterpret_cast<HDC>(dc); }
inline DrawContext ToDrawContext(HDC hdc) { return reinterpret_cast<DrawContext>(hdc); }
inline HPEN ToHpen(PenHandle pen) { return reinterpret_cast<HPEN>(pen); }
inline HBRUSH ToHbrush(BrushHandle brush) { return reinterpret_cast<HBRUSH>(brush); }

// COLORREF keeps red in the low byte, the reverse of the seam's 0xRRGGBB.
inline COLORREF ToColorRef(Colour colour) {
  return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

// A UTF-16 copy of one of the program's texts, held on the stack: no heap and so none of the
// C++ runtime's string machinery in the program. Every text the program shows is far shorter.
struct WideText {
  static constexpr int kCapacity = 256;
  wchar_t text[kCapacity];
  const wchar_t* c_str() const { return text; }
};

// The texts are held as UTF-8 and shown through the wide functions, so the Chinese texts
// appear whatever the system's ANSI code page is.
WideText Utf16FromUtf8(const char* text);

#endif
