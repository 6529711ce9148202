#include "game/cell_drawing.h"
#include "game/commands.h"
#include "game/fall_step.h"
#include "game/game.h"
#include "game/shape_generator.h"
#include "game/texts.h"
#include "res/resource.h"

namespace {
// Virtual-key codes: the arrows and their letter twins.
constexpr int kKeyLeft = 37;
constexpr int kKeyUp = 38;
constexpr int kKeyRight = 39;
constexpr int kKeyDown = 40;
constexpr int kKeyA = 65;
constexpr int kKeyD = 68;
constexpr int kKeyS = 83;
constexpr int kKeyW = 87;

void MoveSideways(DrawContext dc, int step) {
  GameState& g = gameState;
  if (!PieceFits(g.curRot, g.curShape, g.curX + step, g.curY)) return;
  g.curX += step;
  DrawPiece(dc, g.curRot, g.curShape, kEraseColour, g.curX - step, g.curY);
  DrawPiece(dc, g.curRot, g.curShape, g.curColor, g.curX, g.curY);
}

void Turn(DrawContext dc) {
  GameState& g = gameState;
  const int rot = (g.curRot + 1) % kRotationCount;
  if (!PieceFits(rot, g.curShape, g.curX, g.curY)) return;
  DrawPiece(dc, g.curRot, g.curShape, kEraseColour, g.curX, g.curY);
  g.curRot = rot;
  DrawPiece(dc, g.curRot, g.curShape, g.curColor, g.curX, g.curY);
  PlaySoundResource(IDR_WAVE_ROTATE);
}
}  // namespace

void OnPieceKey(WindowHandle window, int virtualKey) {
  if (!IsInPlay()) return;
  DrawContext dc = AcquireWindowDC(window);
  switch (virtualKey) {
    case kKeyLeft:
    case kKeyA:
      MoveSideways(dc, -1);
      break;
    case kKeyRight:
    case kKeyD:
      MoveSideways(dc, +1);
      break;
    case kKeyUp:
    case kKeyW:
      Turn(dc);
      break;
    case kKeyDown:
    case kKeyS:
      SettleStep(dc, window, text::kGameOverByDownKey);
      break;
    default:
      break;
  }
  ReleaseWindowDC(window, dc);
}

void OnFallTimer(WindowHandle window) {
  DrawContext dc = AcquireWindowDC(window);
  SettleStep(dc, window, text::kGameOverByTimer);
  ReleaseWindowDC(window, dc);
}

void ChooseFirstPieces(DrawContext dc) {
  GameState& g = gameState;
  PrepareNextPiece();
  g.previewX = g.curX + kPreviewOffsetX;
  g.previewY = g.curY + kPreviewOffsetY;
  DrawPiece(dc, g.curRot, g.nextShape, g.nextColor, g.previewX, g.previewY);
  const int shape = DrawShape();
  g.curShape = shape;
  g.curColor = shape + 1;
  DrawPiece(dc, g.curRot, g.curShape, g.curColor, g.curX, g.curY);
  g.firstPaintDone = 1;
}
