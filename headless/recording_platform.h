// A platform without a window: every operation the game performs is written to a trace,
// questions take their answers from a queue, and fills and frames are rasterised into a
// pixel surface that stands for the main window's client area.
#ifndef SMORVALA_RECORDING_PLATFORM_H
#define SMORVALA_RECORDING_PLATFORM_H

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/platform.h"

// Thrown by a Yes/No question when no answer is queued.
struct NoAnswerQueued : std::runtime_error {
  NoAnswerQueued() : std::runtime_error("a Yes/No question was asked with no answer queued") {}
};

struct GdiCounts {
  int brushesCreated = 0;
  int brushesDeleted = 0;
  int pensCreated = 0;
  int pensDeleted = 0;
};

// Large enough for everything the board painting draws (its lowest pixel is y 526, its
// rightmost x 379).
constexpr int kSurfaceWidth = 400;
constexpr int kSurfaceHeight = 540;

struct Surface {
  std::vector<Colour> pixels;  // row by row; empty unless rasterising
  Colour At(int x, int y) const { return pixels[y * kSurfaceWidth + x]; }
};

// Forgets everything recorded, the pens and brushes included, and sends the trace to
// `trace` (nothing is written where it is null). Rasterising costs most of the time a
// session takes, so only those who look at the pixels ask for it.
void ResetRecordingPlatform(std::ostream* trace, bool rasterise);
// The window and the drawing context the headless program hands to the game.
WindowHandle HeadlessWindow();
DrawContext HeadlessDC();

void QueueAnswer(bool yes);
bool QuitRequested();
int QuitCode();
bool FallTimerArmed();
int FallTimerPeriod();
const GdiCounts& RecordedGdiCounts();
// Drawing contexts acquired and not yet released: 0 whenever a handler has returned.
int WindowDCsHeld();
const Surface& RecordedSurface();
// What the platform does as a repaint begins: the pending repaint is taken, and the surface
// is cleared to the window background if an invalidation asked for it.
void BeginHeadlessPaint();
// A repaint has been asked for and not yet run. The platform delivers it before any tick.
bool PaintPending();
// The score box's text as the game last set it, empty before that.
const std::string& ScoreBoxText();

#endif
