#include "headless/recording_platform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <deque>

#include "game/board_painting.h"
#include "game/frame_outline.h"
#include "game/plain_pen_and_brush.h"
#include "res/resource.h"

struct PlatformWindow {};
struct PlatformDC {};

namespace {
// The headless clock stands still, so recorded sessions repeat.
constexpr std::uint32_t kHeadlessClock = 1;

struct Recorder {
  std::ostream* trace = nullptr;
  std::deque<bool> answers;
  bool quitRequested = false;
  int quitCode = 0;
  bool timerArmed = false;
  int timerPeriod = 0;
  bool eraseRequested = false;
  bool paintPending = false;
  std::string scoreBoxText;
  GdiCounts counts;
  int windowDCsHeld = 0;
  Surface surface;
  // Pens and brushes keep their addresses until the next reset.
  std::deque<PlatformPen> pens;
  std::deque<PlatformBrush> brushes;
};

Recorder recorder;
PlatformWindow headlessWindow;
PlatformDC headlessDC;

void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));

void Line(const char* format, ...) {
  if (recorder.trace == nullptr) return;
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  *recorder.trace << buffer << '\n';
}

bool Rasterising() { return !recorder.surface.pixels.empty(); }

void Plot(int x, int y, Colour colour) {
  if (x < 0 || y < 0 || x >= kSurfaceWidth || y >= kSurfaceHeight) return;
  recorder.surface.pixels[y * kSurfaceWidth + x] = colour;
}

void FillPixels(const PixelRect& rect, Colour colour) {
  if (!Rasterising()) return;
  const int left = std::max(rect.left, 0);
  const int right = std::min(rect.right, kSurfaceWidth);
  if (left >= right) return;
  for (int y = std::max(rect.top, 0); y < std::min(rect.bottom, kSurfaceHeight); ++y) {
    std::fill_n(recorder.surface.pixels.begin() + y * kSurfaceWidth + left, right - left, colour);
  }
}

void OutlinePixels(const PixelRect& rect, const PlatformPen& pen) {
  if (!Rasterising()) return;
  WalkOutline(rect, pen.style, pen.colour, Plot);
}
}  // namespace

void ResetRecordingPlatform(std::ostream* trace, bool rasterise) {
  recorder = Recorder{};
  recorder.trace = trace;
  if (rasterise) recorder.surface.pixels.assign(kSurfaceWidth * kSurfaceHeight, kWindowBackground);
}

WindowHandle HeadlessWindow() { return &headlessWindow; }
DrawContext HeadlessDC() { return &headlessDC; }
void QueueAnswer(bool yes) { recorder.answers.push_back(yes); }
bool QuitRequested() { return recorder.quitRequested; }
int QuitCode() { return recorder.quitCode; }
bool FallTimerArmed() { return recorder.timerArmed; }
int FallTimerPeriod() { return recorder.timerPeriod; }
const GdiCounts& RecordedGdiCounts() { return recorder.counts; }
int WindowDCsHeld() { return recorder.windowDCsHeld; }
const Surface& RecordedSurface() { return recorder.surface; }

void BeginHeadlessPaint() {
  if (recorder.eraseRequested) FillPixels({0, 0, kSurfaceWidth, kSurfaceHeight}, kWindowBackground);
  recorder.eraseRequested = false;
  recorder.paintPending = false;
}

bool PaintPending() { return recorder.paintPending; }
const std::string& ScoreBoxText() { return recorder.scoreBoxText; }

void ArmFallTimer(WindowHandle, int periodMs) {
  recorder.timerArmed = true;
  recorder.timerPeriod = periodMs;
  Line("timer set %d", periodMs);
}

void KillFallTimer(WindowHandle) {
  recorder.timerArmed = false;
  Line("timer kill");
}

void InvalidateClientArea(WindowHandle, bool erase) {
  recorder.eraseRequested = recorder.eraseRequested || erase;
  recorder.paintPending = true;
  Line("invalidate %s", erase ? "erase" : "keep");
}

DrawContext AcquireWindowDC(WindowHandle) {
  ++recorder.windowDCsHeld;
  return &headlessDC;
}

void ReleaseWindowDC(WindowHandle, DrawContext) { --recorder.windowDCsHeld; }

void SetControlText(WindowHandle, int controlId, const char* text) {
  if (controlId == IDC_SCORE) recorder.scoreBoxText = text;
  Line("text %d %s", controlId, text);
}

void FocusMainWindow(WindowHandle) { Line("focus"); }

void ShowMessageBox(WindowHandle, const char* caption, const char* text) {
  Line("box ok \"%s\" \"%s\"", caption, text);
}

bool AskYesNo(WindowHandle, const char* caption, const char* text) {
  if (recorder.answers.empty()) throw NoAnswerQueued();
  const bool yes = recorder.answers.front();
  recorder.answers.pop_front();
  Line("box yesno \"%s\" \"%s\" %s", caption, text, yes ? "yes" : "no");
  return yes;
}

void PlaySoundResource(int resourceId) { Line("sound %d", resourceId); }
void HoldProgram(int milliseconds) { Line("sleep %d", milliseconds); }

void QuitProgram(int exitCode) {
  recorder.quitRequested = true;
  recorder.quitCode = exitCode;
  Line("quit %d", exitCode);
}

BrushHandle CreateSolidBrushOf(Colour colour) {
  ++recorder.counts.brushesCreated;
  recorder.brushes.push_back({colour});
  return &recorder.brushes.back();
}

void DeleteBrush(BrushHandle) { ++recorder.counts.brushesDeleted; }

PenHandle CreateFramePen(PenStyle style, Colour colour) {
  ++recorder.counts.pensCreated;
  recorder.pens.push_back({style, colour});
  return &recorder.pens.back();
}

void DeletePen(PenHandle) { ++recorder.counts.pensDeleted; }

void FillSolid(DrawContext, const PixelRect& rect, BrushHandle brush) {
  Line("fill %d %d %d %d %06x", rect.left, rect.top, rect.right, rect.bottom, brush->colour);
  FillPixels(rect, brush->colour);
}

void DrawFrame(DrawContext, const PixelRect& rect, PenHandle pen, BrushHandle brush) {
  Line("rect %d %d %d %d %s %06x %06x", rect.left, rect.top, rect.right, rect.bottom,
       pen->style == PenStyle::Dot ? "dot" : "solid", pen->colour, brush->colour);
  FillPixels({rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1}, brush->colour);
  OutlinePixels(rect, *pen);
}

std::uint32_t ClockSeed() { return kHeadlessClock; }
