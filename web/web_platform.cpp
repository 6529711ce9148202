// The platform seam in the browser. The canvas stands for the main window's client area and the
// page's elements for its controls and boxes; web/platform_library.js hands each operation to
// the page (web/page.js).
#include "web/web_platform.h"

#include <cstring>
#include <ctime>

#include "game/board_painting.h"
#include "game/frame_outline.h"
#include "game/plain_pen_and_brush.h"
#include "res/resource.h"

struct PlatformWindow {};
struct PlatformDC {};

extern "C" {
void smorvala_fill(int left, int top, int right, int bottom, Colour colour);
void smorvala_erase(Colour colour);
void smorvala_arm_timer(int periodMs);
void smorvala_kill_timer();
void smorvala_set_text(int controlId, const char* text);
void smorvala_focus_window();
void smorvala_load_sound(int resourceId, const char* file);
void smorvala_play_sound(int resourceId);
void smorvala_quit();
// These two suspend the game until the player answers or the time is up, as the program's
// thread blocks in them; the page goes on drawing meanwhile.
int smorvala_message_box(const char* caption, const char* text, int question);
void smorvala_hold(int milliseconds);
}

namespace {
// The WAVE resources of the program, served beside the page under their files' names.
struct SoundFile {
  int resourceId;
  const char* file;
};
constexpr SoundFile kSoundFiles[] = {{IDR_WAVE_CLEAR, "clear.wav"}, {IDR_WAVE_ROTATE, "rotate.wav"}};

PlatformWindow pageWindow;
PlatformDC canvasDC;
bool paintPending = false;
bool erasePending = false;
// Long enough for every wording and any score.
char scoreBoxText[64];
}  // namespace

WindowHandle PageWindow() { return &pageWindow; }

bool PaintIfPending() {
  if (!paintPending) return false;
  if (erasePending) smorvala_erase(kWindowBackground);
  paintPending = false;
  erasePending = false;
  PaintBoard(&canvasDC);
  return true;
}

void LoadSounds() {
  for (const SoundFile& sound : kSoundFiles) smorvala_load_sound(sound.resourceId, sound.file);
}

void ArmFallTimer(WindowHandle, int periodMs) { smorvala_arm_timer(periodMs); }
void KillFallTimer(WindowHandle) { smorvala_kill_timer(); }

// The repaint runs once the page has no input left to hand on, as WM_PAINT comes after input.
void InvalidateClientArea(WindowHandle, bool erase) {
  paintPending = true;
  erasePending = erasePending || erase;
}

DrawContext AcquireWindowDC(WindowHandle) { return &canvasDC; }
void ReleaseWindowDC(WindowHandle, DrawContext) {}

void SetControlText(WindowHandle, int controlId, const char* text) {
  if (controlId == IDC_SCORE) std::strncpy(scoreBoxText, text, sizeof scoreBoxText - 1);
  smorvala_set_text(controlId, text);
}

const char* ScoreBoxText() { return scoreBoxText; }
void FocusMainWindow(WindowHandle) { smorvala_focus_window(); }

// A message box's modal loop repaints the window behind it, as on Windows: the white rows of
// the landing that ended the game do not stay behind the game-over box.
void ShowMessageBox(WindowHandle, const char* caption, const char* text) {
  PaintIfPending();
  smorvala_message_box(caption, text, 0);
}

bool AskYesNo(WindowHandle, const char* caption, const char* text) {
  PaintIfPending();
  return smorvala_message_box(caption, text, 1) == 1;
}

void PlaySoundResource(int resourceId) { smorvala_play_sound(resourceId); }
void HoldProgram(int milliseconds) { smorvala_hold(milliseconds); }
void QuitProgram(int) { smorvala_quit(); }

BrushHandle CreateSolidBrushOf(Colour colour) { return new PlatformBrush{colour}; }
void DeleteBrush(BrushHandle brush) { delete brush; }
PenHandle CreateFramePen(PenStyle style, Colour colour) { return new PlatformPen{style, colour}; }
void DeletePen(PenHandle pen) { delete pen; }

void FillSolid(DrawContext, const PixelRect& rect, BrushHandle brush) {
  smorvala_fill(rect.left, rect.top, rect.right, rect.bottom, brush->colour);
}

void DrawFrame(DrawContext, const PixelRect& rect, PenHandle pen, BrushHandle brush) {
  smorvala_fill(rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1, brush->colour);
  WalkOutline(rect, pen->style, pen->colour,
              [](int x, int y, Colour colour) { smorvala_fill(x, y, x + 1, y + 1, colour); });
}

std::uint32_t ClockSeed() { return static_cast<std::uint32_t>(std::time(nullptr)); }
