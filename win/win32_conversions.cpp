#include "win/win32_conversions.h"

WideText Utf16FromUtf8(const char* text) {
  WideText wide;
  // A text too long for the buffer fails the conversion and shows empty rather than cut.
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.text, WideText::kCapacity) == 0) wide.text[0] = L'\0';
  return wide;
}
