#include "game/board_painting.h"

#include "game/cell_drawing.h"
#include "game/commands.h"
#include "game/game.h"

namespace {
constexpr Colour kBlack = 0x000000;
constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kGreen = 0x00FF00;
constexpr Colour kYellow = 0xFFFF00;

// The outer dotted frame, the green frame whose black fill is the board's background, and
// the preview box.
constexpr PixelRect kOuterFrame = {10, 14, 237, kPaintingHeight};
constexpr PixelRect kBoardFrame = {12, 16, 235, 525};
constexpr PixelRect kPreviewFrame = {260, 110, kPaintingWidth, 185};

// The preview always shows the piece as it enters, so no cell of it leaves the preview box.
constexpr int kPreviewRotation = 0;

void DrawFrames(DrawContext dc) {
  BrushHandle black = CreateSolidBrushOf(kBlack);
  PenHandle dotted = CreateFramePen(PenStyle::Dot, kWhite);
  DrawFrame(dc, kOuterFrame, dotted, black);
  PenHandle green = CreateFramePen(PenStyle::Solid, kGreen);
  DrawFrame(dc, kBoardFrame, green, black);
  PenHandle yellow = CreateFramePen(PenStyle::Solid, kYellow);
  DrawFrame(dc, kPreviewFrame, yellow, black);
  DeletePen(dotted);
  DeletePen(green);
  DeletePen(yellow);
  DeleteBrush(black);
}
}  // namespace

void DrawSettledCells(DrawContext dc) {
  for (int column = 0; column < kColumns; ++column) {
    for (int row = 0; row < kRows; ++row) {
      const int index = CellIndex(column, row);
      if (playfield.occupied[index] == 1) DrawCell(dc, column, row, playfield.color[index]);
    }
  }
}

void PaintBoard(DrawContext dc) {
  DrawFrames(dc);
  DrawSettledCells(dc);
  const GameState& g = gameState;
  if (g.firstPaintDone == 0 && g.started == 1) {
    ChooseFirstPieces(dc);
    return;
  }
  DrawPiece(dc, kPreviewRotation, g.nextShape, g.nextColor, g.previewX, g.previewY);
  DrawPiece(dc, g.curRot, g.curShape, g.curColor, g.curX, g.curY);
}
