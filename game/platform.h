// The operations the game and its drawing need from the platform. Each front end implements
// them: the Windows program over Win32 (win/), the web edition over its page (web/) and the
// headless replay by recording them (headless/). Nothing here names a platform type: windows,
// drawing contexts, pens and brushes travel as opaque pointers, colours as 0xRRGGBB.
#ifndef SMORVALA_PLATFORM_H
#define SMORVALA_PLATFORM_H

#include <cstdint>

struct PlatformWindow;
struct PlatformDC;
struct PlatformPen;
struct PlatformBrush;

using WindowHandle = PlatformWindow*;
using DrawContext = PlatformDC*;
using PenHandle = PlatformPen*;
using BrushHandle = PlatformBrush*;

// Red in bits 16 to 23, green in 8 to 15, blue in 0 to 7.
using Colour = std::uint32_t;

// A pixel rectangle of the client area; right and bottom are exclusive.
struct PixelRect {
  int left;
  int top;
  int right;
  int bottom;
};

enum class PenStyle { Solid, Dot };

// The fall timer: armed again replaces the countdown with a fresh one.
void ArmFallTimer(WindowHandle window, int periodMs);
void KillFallTimer(WindowHandle window);

// Asks for a repaint of the whole client area, erasing the background first or not.
void InvalidateClientArea(WindowHandle window, bool erase);

// A drawing context for drawing at once, outside a repaint.
DrawContext AcquireWindowDC(WindowHandle window);
void ReleaseWindowDC(WindowHandle window, DrawContext dc);

// Texts are UTF-8.
void SetControlText(WindowHandle window, int controlId, const char* text);
void FocusMainWindow(WindowHandle window);
void ShowMessageBox(WindowHandle window, const char* caption, const char* text);
// True only for the answer Yes.
bool AskYesNo(WindowHandle window, const char* caption, const char* text);

// Starts a WAVE resource and returns at once; dropped while one of ours still plays.
void PlaySoundResource(int resourceId);
// Holds the whole program: no input, tick or repaint is handled meanwhile.
void HoldProgram(int milliseconds);
void QuitProgram(int exitCode);

BrushHandle CreateSolidBrushOf(Colour colour);
void DeleteBrush(BrushHandle brush);
// A pen one pixel wide.
PenHandle CreateFramePen(PenStyle style, Colour colour);
void DeletePen(PenHandle pen);

void FillSolid(DrawContext dc, const PixelRect& rect, BrushHandle brush);
// Outlines the rectangle's outermost pixels with the pen and fills the inside with the brush.
// A dotted pen draws its gaps in white, the default opaque background.
void DrawFrame(DrawContext dc, const PixelRect& rect, PenHandle pen, BrushHandle brush);

// Seconds of the wall clock, to seed the shape generator once at start-up.
std::uint32_t ClockSeed();

#endif
