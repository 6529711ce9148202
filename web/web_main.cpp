// The browser's main window: the page (web/page.js) hands the game every event here, one at a
// time and in the order the Windows message loop hands them to MainWndProc: input first, then a
// pending repaint, then the fall timer's tick.
#include <emscripten/emscripten.h>

#include <cstring>

#include "game/cell_drawing.h"
#include "game/commands.h"
#include "game/game.h"
#include "game/saved_game.h"
#include "game/shape_generator.h"
#include "game/texts.h"
#include "res/resource.h"
#include "web/web_platform.h"

namespace {
struct FirstText {
  int controlId;
  const char* text;
};
// The texts the program creates its five controls with.
constexpr FirstText kFirstTexts[] = {
    {IDC_PAUSE, text::kPause},      {IDC_EXIT, text::kExit},         {IDC_START, text::kStart},
    {IDC_LEVEL, text::kFirstLevel}, {IDC_SCORE, text::kFirstScore},
};
}  // namespace

extern "C" {
// What creating the main window does: the controls' texts, the palette, the seed from the clock,
// the sounds and the first repaint, which erases the background.
EMSCRIPTEN_KEEPALIVE void SmorvalaStartUp() {
  for (const FirstText& first : kFirstTexts) SetControlText(PageWindow(), first.controlId, first.text);
  CreateCellPalette();
  SeedShapeGenerator(ClockSeed());
  LoadSounds();
  InvalidateClientArea(PageWindow(), true);
}

// A click on one of the three buttons, by the control's id.
EMSCRIPTEN_KEEPALIVE void SmorvalaButton(int controlId) {
  switch (controlId) {
    case IDC_PAUSE: OnPauseButton(PageWindow()); break;
    case IDC_EXIT: OnExitButton(PageWindow()); break;
    case IDC_START: OnStartButton(PageWindow()); break;
    default: break;
  }
}

EMSCRIPTEN_KEEPALIVE void SmorvalaKey(int virtualKey) { OnPieceKey(PageWindow(), virtualKey); }
EMSCRIPTEN_KEEPALIVE void SmorvalaTick() { OnFallTimer(PageWindow()); }
// 1 if a repaint was pending and ran.
EMSCRIPTEN_KEEPALIVE int SmorvalaPaint() { return PaintIfPending() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int SmorvalaInPlay() { return IsInPlay() ? 1 : 0; }

// The game in progress as the line the page keeps, empty where there is none; valid until the
// next call.
EMSCRIPTEN_KEEPALIVE const char* SmorvalaWriteOut() {
  static char line[kSavedGameCapacity];
  WriteOutGame(ScoreBoxText(), line);
  return line;
}

// 1 if the line was a whole game, now resumed and paused; 0 if it was refused.
EMSCRIPTEN_KEEPALIVE int SmorvalaReadBack(const char* line) {
  return ReadBackGame(PageWindow(), line, std::strlen(line)) ? 1 : 0;
}
}
