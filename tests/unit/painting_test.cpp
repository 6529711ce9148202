#include <cstdio>

#include "game/cell_drawing.h"
#include "game/shape_generator.h"
#include "game_fixture.h"

namespace {
using Lines = std::vector<std::string>;

const Lines kFrames = {"rect 10 14 237 527 dot ffffff 000000", "rect 12 16 235 525 solid 00ff00 000000",
                       "rect 260 110 380 185 solid ffff00 000000"};

constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kBlack = 0x000000;

std::string CellFill(int column, int row, int colorIndex) {
  const PixelRect r = CellRect(column, row);
  char line[64];
  std::snprintf(line, sizeof line, "fill %d %d %d %d %06x", r.left, r.top, r.right, r.bottom,
                kPaletteColours[colorIndex]);
  return line;
}

bool Inside(const PixelRect& cell, const PixelRect& box) {
  return cell.left > box.left && cell.top > box.top && cell.right < box.right && cell.bottom < box.bottom;
}
}  // namespace

TEST(CellGeometry, CornerCellsCoverTheirPixels) {
  const PixelRect first = CellRect(0, 0);
  EXPECT_EQ(first.left, 14);
  EXPECT_EQ(first.top, 17);
  EXPECT_EQ(first.right, 35);  // exclusive: x 14 to 34
  EXPECT_EQ(first.bottom, 38);
  const PixelRect last = CellRect(9, 22);
  EXPECT_EQ(last.left, 212);
  EXPECT_EQ(last.top, 501);
  EXPECT_EQ(last.right, 233);
  EXPECT_EQ(last.bottom, 522);
  EXPECT_TRUE(Inside(last, {12, 16, 235, 525})) << "inside the green frame's interior";
  const PixelRect preview = CellRect(12, 5);
  EXPECT_EQ(preview.left, 278);
  EXPECT_EQ(preview.top, 127);
}

class PaintingTest : public GameTest {};

TEST_F(PaintingTest, BeforeStartTheRepaintDrawsFramesAndAnInvisiblePiece) {
  PaintBoard(DC());
  Lines lines = TakeTrace();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 3), kFrames);
  for (std::size_t i = 3; i < lines.size(); ++i) EXPECT_EQ(lines[i].substr(lines[i].size() - 6), "000000");
  EXPECT_EQ(gameState.firstPaintDone, 0);
}

TEST_F(PaintingTest, TheFirstRepaintAfterStartDrawsThePreviewPieceBeforeTheFallingPiece) {
  SeedShapeGenerator(5);
  const int previewShape = NextRandom() % 7;
  const int fallingShape = NextRandom() % 7;
  SeedShapeGenerator(5);
  OnStartButton(Window());
  TakeTrace();
  PaintBoard(DC());
  EXPECT_EQ(gameState.nextShape, previewShape);
  EXPECT_EQ(gameState.curShape, fallingShape);
  EXPECT_EQ(gameState.curColor, fallingShape + 1);
  EXPECT_EQ(gameState.previewX, 11);
  EXPECT_EQ(gameState.previewY, 5);
  EXPECT_EQ(gameState.firstPaintDone, 1);

  Lines expected = kFrames;
  for (const CellOffset& cell : ShapeTable[previewShape][0]) {
    expected.push_back(CellFill(11 + cell.dx, 5 + cell.dy, previewShape + 1));
    EXPECT_TRUE(Inside(CellRect(11 + cell.dx, 5 + cell.dy), {260, 110, 380, 185}));
  }
  for (const CellOffset& cell : ShapeTable[fallingShape][0]) {
    expected.push_back(CellFill(2 + cell.dx, cell.dy, fallingShape + 1));
  }
  EXPECT_EQ(TakeTrace(), expected);
}

TEST_F(PaintingTest, LaterRepaintsDrawNoRandomNumbersAndKeepThePieces) {
  StartGame();
  const GameState before = gameState;
  SeedShapeGenerator(77);
  for (int i = 0; i < 3; ++i) PaintBoard(DC());
  EXPECT_EQ(gameState.curShape, before.curShape);
  EXPECT_EQ(gameState.nextShape, before.nextShape);
  SeedShapeGenerator(77);
  const int untouched = NextRandom();
  SeedShapeGenerator(77);
  for (int i = 0; i < 3; ++i) PaintBoard(DC());
  EXPECT_EQ(NextRandom(), untouched);
}

TEST_F(PaintingTest, SettledCellsAreRedrawnColumnByColumnInTheirColours) {
  Settle(9, 22, 7);
  Settle(0, 22, 2);
  Settle(0, 3, 5);
  PaintBoard(DC());
  const Lines lines = TakeTrace();
  EXPECT_EQ(lines[3], "fill 14 83 35 104 e56a32");
  EXPECT_EQ(lines[4], "fill 14 501 35 522 49d549");
  EXPECT_EQ(lines[5], "fill 212 501 233 522 a600cf");
}

TEST_F(PaintingTest, ThePreviewStaysUprightInItsBoxWhileTheFallingPieceIsTurned) {
  StartGame();
  for (int shape = 0; shape < kShapeCount; ++shape) {
    gameState.nextShape = shape;
    gameState.nextColor = shape + 1;
    gameState.curRot = 1;
    PaintBoard(DC());
    const Lines lines = TakeTrace();
    for (int i = 3; i < 3 + kCellsPerPiece; ++i) {
      int left, top, right, bottom;
      ASSERT_EQ(std::sscanf(lines[i].c_str(), "fill %d %d %d %d", &left, &top, &right, &bottom), 4);
      EXPECT_TRUE(Inside({left, top, right, bottom}, {260, 110, 380, 185})) << "shape " << shape;
    }
  }
}

TEST_F(PaintingTest, TheSurfaceShowsTheFramesAndCellsAtTheirPixels) {
  StartUpHeadless(trace_, true);
  StartGame();
  Settle(9, 22, 3);
  PaintBoard(DC());
  const Surface& surface = RecordedSurface();
  EXPECT_EQ(surface.At(10, 14), kWhite);
  EXPECT_EQ(surface.At(236, 526), kWhite);
  EXPECT_EQ(surface.At(11, 15), kBlack);
  EXPECT_EQ(surface.At(12, 16), 0x00FF00u);
  EXPECT_EQ(surface.At(234, 524), 0x00FF00u);
  EXPECT_EQ(surface.At(260, 110), 0xFFFF00u);
  EXPECT_EQ(surface.At(379, 184), 0xFFFF00u);
  EXPECT_EQ(surface.At(380, 185), kWindowBackground);
  EXPECT_EQ(surface.At(237, 527), kWindowBackground);
  EXPECT_EQ(surface.At(212, 501), 0xDD250Du);
  EXPECT_EQ(surface.At(232, 521), 0xDD250Du);
  EXPECT_EQ(surface.At(233, 521), kBlack) << "the line between cells shows the board";
  // The dotted outer frame is a continuous white line.
  for (int x = 10; x < 237; ++x) EXPECT_EQ(surface.At(x, 14), kWhite) << x;
}

TEST_F(PaintingTest, PaintingBalancesItsPensAndBrushesAndMakesThePaletteOnce) {
  for (int i = 0; i < 10000; ++i) {
    switch (i % 4) {
      case 0: OnStartButton(Window()); break;
      case 1: OnPieceKey(Window(), 37 + i % 5); break;
      case 2: OnFallTimer(Window()); break;
      case 3: QueueAnswer(i % 8 == 3); break;
    }
    PaintBoard(DC());
  }
  const GdiCounts& counts = RecordedGdiCounts();
  EXPECT_EQ(counts.pensCreated, counts.pensDeleted);
  EXPECT_EQ(counts.pensCreated, 3 * 10000);
  EXPECT_EQ(counts.brushesCreated - counts.brushesDeleted, kPaletteSize);
  EXPECT_EQ(counts.brushesCreated, kPaletteSize + 10000);
}
