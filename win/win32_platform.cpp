// The platform seam over Win32: the game's timer, drawing, texts, questions and sounds.
#include <windows.h>
#include <mmsystem.h>

#include <ctime>

#include "game/platform.h"
#include "res/resource.h"
#include "win/system_functions.h"
#include "win/win32_conversions.h"

void ArmFallTimer(WindowHandle window, int periodMs) {
  SetTimer(ToHwnd(window), FALL_TIMER_ID, static_cast<UINT>(periodMs), nullptr);
}

void KillFallTimer(WindowHandle window) { KillTimer(ToHwnd(window), FALL_TIMER_ID); }

void InvalidateClientArea(WindowHandle window, bool erase) {
  InvalidateRect(ToHwnd(window), nullptr, erase ? TRUE : FALSE);
}

DrawContext AcquireWindowDC(WindowHandle window) { return ToDrawContext(GetDC(ToHwnd(window))); }

void ReleaseWindowDC(WindowHandle window, DrawContext dc) { ReleaseDC(ToHwnd(window), ToHdc(dc)); }

void SetControlText(WindowHandle window, int controlId, const char* text) {
  SetWindowTextW(GetDlgItem(ToHwnd(window), controlId), Utf16FromUtf8(text).c_str());
}

void FocusMainWindow(WindowHandle window) { SetFocus(ToHwnd(window)); }

void ShowMessageBox(WindowHandle window, const char* caption, const char* text) {
  MessageBoxW(ToHwnd(window), Utf16FromUtf8(text).c_str(), Utf16FromUtf8(caption).c_str(), MB_OK);
}

bool AskYesNo(WindowHandle window, const char* caption, const char* text) {
  return MessageBoxW(ToHwnd(window), Utf16FromUtf8(text).c_str(), Utf16FromUtf8(caption).c_str(),
                     MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

void PlaySoundResource(int resourceId) {
  const auto playSound = SystemFunction<decltype(PlaySoundW)>(L"winmm.dll", "PlaySoundW");
  if (playSound == nullptr) return;
  // SND_NOSTOP drops the request while one of our sounds still plays, rather than cutting it.
  playSound(MAKEINTRESOURCEW(resourceId), GetModuleHandleW(nullptr), SND_RESOURCE | SND_ASYNC | SND_NOSTOP);
}

void HoldProgram(int milliseconds) {
  // The white rows drawn just before must be on screen during the hold: GDI may batch the
  // fills, and a sleeping thread does not flush its batch.
  GdiFlush();
  Sleep(static_cast<DWORD>(milliseconds));
}

void QuitProgram(int exitCode) { PostQuitMessage(exitCode); }

BrushHandle CreateSolidBrushOf(Colour colour) {
  return reinterpret_cast<BrushHandle>(CreateSolidBrush(ToColorRef(colour)));
}

void DeleteBrush(BrushHandle brush) { DeleteObject(ToHbrush(brush)); }

PenHandle CreateFramePen(PenStyle style, Colour colour) {
  // Width 0 is the one-pixel cosmetic pen; only it can be dotted.
  const int penStyle = style == PenStyle::Dot ? PS_DOT : PS_SOLID;
  return reinterpret_cast<PenHandle>(CreatePen(penStyle, 0, ToColorRef(colour)));
}

void DeletePen(PenHandle pen) { DeleteObject(ToHpen(pen)); }

void FillSolid(DrawContext dc, const PixelRect& rect, BrushHandle brush) {
  const RECT area = {rect.left, rect.top, rect.right, rect.bottom};
  FillRect(ToHdc(dc), &area, ToHbrush(brush));
}

void DrawFrame(DrawContext dc, const PixelRect& rect, PenHandle pen, BrushHandle brush) {
  // The background mode and colour are left at the context's defaults, opaque and white, so
  // the gaps of a dotted white pen are white too and the frame reads as one continuous line.
  const HDC hdc = ToHdc(dc);
  const HGDIOBJ previousPen = SelectObject(hdc, ToHpen(pen));
  const HGDIOBJ previousBrush = SelectObject(hdc, ToHbrush(brush));
  Rectangle(hdc, rect.left, rect.top, rect.right, rect.bottom);
  SelectObject(hdc, previousBrush);
  SelectObject(hdc, previousPen);
}

std::uint32_t ClockSeed() { return static_cast<std::uint32_t>(std::time(nullptr)); }
