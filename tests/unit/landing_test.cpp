#include <cstdio>

#include "game/fall_step.h"
#include "game_fixture.h"

namespace {
// The trace line of one cell filled with a colour: cells are 21 pixels square on a pitch of
// 22, the board's top-left cell at (14, 17).
std::string CellFill(int column, int row, const char* colour) {
  char line[64];
  std::snprintf(line, sizeof line, "fill %d %d %d %d %s", 22 * column + 14, 22 * row + 17,
                22 * column + 35, 22 * row + 38, colour);
  return line;
}

std::string RowOf(int row) {
  std::string cells;
  for (int column = 0; column < kColumns; ++column) {
    const int index = CellIndex(column, row);
    cells += playfield.occupied[index] ? static_cast<char>('0' + playfield.color[index]) : '.';
  }
  return cells;
}

constexpr int kUprightBar = 1;  // rotation of the bar standing on end, its cells at dx 2
}  // namespace

class FallStepTest : public GameTest {};

TEST_F(FallStepTest, APieceThatFitsLowerIsErasedAndDrawnOneRowDown) {
  PlacePiece(3, 0, 2, 5);  // the square: cells (3,5) (3,6) (4,5) (4,6)
  OnFallTimer(Window());
  EXPECT_EQ(gameState.curY, 6);
  const std::vector<std::string> expected = {
      CellFill(3, 5, "000000"), CellFill(3, 6, "000000"), CellFill(4, 5, "000000"),
      CellFill(4, 6, "000000"), CellFill(3, 6, "d8e800"), CellFill(3, 7, "d8e800"),
      CellFill(4, 6, "d8e800"), CellFill(4, 7, "d8e800")};
  EXPECT_EQ(TakeTrace(), expected);
  EXPECT_FALSE(FallTimerArmed()) << "a plain step leaves the timer alone";
}

TEST_F(FallStepTest, ALandingWritesThePieceAndBringsInThePreviewPiece) {
  PlacePiece(3, 0, 2, 21);
  gameState.nextShape = 5;
  gameState.nextColor = 6;
  OnFallTimer(Window());
  EXPECT_EQ(RowOf(21), "...44.....");
  EXPECT_EQ(RowOf(22), "...44.....");
  EXPECT_EQ(gameState.curShape, 5);
  EXPECT_EQ(gameState.curColor, 6);
  EXPECT_EQ(gameState.curX, 2);
  EXPECT_EQ(gameState.curY, 0);
  EXPECT_EQ(gameState.nextColor, gameState.nextShape + 1);
  const std::vector<std::string> expected = {"timer set 600", "text 4 第 0 关", "invalidate keep"};
  EXPECT_EQ(TakeTrace(), expected) << "no flash, sound or hold without a full row";
}

TEST_F(FallStepTest, LandingUsesTheFallingPieceColourNotItsShape) {
  PlacePiece(3, 0, 2, 21);
  gameState.curColor = 7;
  OnFallTimer(Window());
  EXPECT_EQ(RowOf(22), "...77.....");
}

TEST_F(FallStepTest, SeparatedFullRowsFlashWhereTheyStoodAndTheRowsAboveDropTwice) {
  FillRowExcept(22, {5});
  FillRowExcept(21, {0, 5});
  FillRowExcept(20, {5});
  Settle(9, 19, 3);
  Settle(1, 18, 6);
  const std::string oldRow21 = RowOf(21);
  PlacePiece(2, kUprightBar, 3, 19);  // column 5, rows 19 to 22
  OnFallTimer(Window());

  EXPECT_EQ(gameState.score, 30);
  std::string expectedBottom = oldRow21;
  expectedBottom[5] = '3';
  EXPECT_EQ(RowOf(22), expectedBottom);
  EXPECT_EQ(RowOf(21), ".....3...3");
  EXPECT_EQ(RowOf(20), ".6........");
  for (int row = 0; row < 20; ++row) EXPECT_EQ(RowOf(row), "..........") << "row " << row;

  const std::vector<std::string> lines = TakeTrace();
  for (int column = 0; column < kColumns; ++column) {
    EXPECT_TRUE(Contains(lines, CellFill(column, 20, "ffffff"))) << column;
    EXPECT_TRUE(Contains(lines, CellFill(column, 22, "ffffff"))) << column;
    EXPECT_FALSE(Contains(lines, CellFill(column, 21, "ffffff"))) << column;
  }
  const int lastFlash = IndexOf(lines, CellFill(9, 22, "ffffff"));
  EXPECT_LT(IndexOf(lines, CellFill(0, 20, "ffffff")), IndexOf(lines, CellFill(0, 22, "ffffff")));
  const std::vector<std::string> tail(lines.begin() + lastFlash + 1, lines.end());
  const std::vector<std::string> expectedTail = {"sound 105",     "sleep 200",      "text 5 得分: 30",
                                                 "timer set 600", "text 4 第 0 关", "invalidate keep"};
  EXPECT_EQ(tail, expectedTail);
}

TEST_F(FallStepTest, FourRowsAtOnceScoreAHundred) {
  for (int row = 19; row < kRows; ++row) FillRowExcept(row, {5});
  Settle(0, 18, 2);
  Settle(6, 1, 5);
  PlacePiece(2, kUprightBar, 3, 19);
  OnFallTimer(Window());
  EXPECT_EQ(gameState.score, 100);
  EXPECT_EQ(RowOf(22), "2.........");
  EXPECT_EQ(RowOf(1), "..........") << "row 1 takes the empty row 0 at each clear";
  EXPECT_TRUE(Contains(TakeTrace(), "text 5 得分: 100"));
}

TEST_F(FallStepTest, TheDownKeyRunsTheSameStep) {
  StartGame();
  const int row = gameState.curY;
  OnPieceKey(Window(), 40);
  EXPECT_EQ(gameState.curY, row + 1);
  OnPieceKey(Window(), 'S');
  EXPECT_EQ(gameState.curY, row + 2);
}

class ScoringTest : public GameTest {};

TEST_F(ScoringTest, EachLevelStartsJustAboveItsThreshold) {
  struct Case {
    int score;
    int interval;
    const char* level;
  };
  const Case cases[] = {
      {0, 600, "第 0 关"},    {200, 600, "第 0 关"},  {201, 550, "第 1 关"},  {600, 550, "第 1 关"},
      {601, 500, "第 2 关"},  {1000, 500, "第 2 关"}, {1001, 450, "第 3 关"}, {1500, 450, "第 3 关"},
      {1501, 400, "第 4 关"}, {2500, 400, "第 4 关"}, {2501, 350, "第 5 关"}, {3600, 350, "第 5 关"},
      {3601, 300, "第 6 关"}, {4800, 300, "第 6 关"}, {4801, 250, "第 7 关"}, {6100, 250, "第 7 关"},
      {6101, 200, "第 8 关"}, {7500, 200, "第 8 关"}, {7501, 100, "第 9 关"}, {99999, 100, "第 9 关"},
  };
  for (const Case& c : cases) {
    gameState.score = c.score;
    UpdateLevelAndSpeed(Window());
    EXPECT_EQ(gameState.interval, c.interval) << c.score;
    const std::vector<std::string> expected = {"timer set " + std::to_string(c.interval),
                                               std::string("text 4 ") + c.level};
    EXPECT_EQ(TakeTrace(), expected) << c.score;
  }
}

TEST_F(ScoringTest, OnlyOneToFourRowsEarnPoints) {
  const int points[] = {0, 10, 30, 60, 100, 0};
  for (int rows = 0; rows <= 5; ++rows) {
    gameState.score = 1000;
    AddLineScore(Window(), rows);
    EXPECT_EQ(gameState.score, 1000 + points[rows]) << rows;
    const std::vector<std::string> expected = {"text 5 得分: " + std::to_string(gameState.score)};
    EXPECT_EQ(TakeTrace(), expected);
  }
}

TEST_F(ScoringTest, AClearThatCrossesAThresholdSpeedsUpInTheSameLanding) {
  gameState.score = 200;
  FillRowExcept(22, {3, 4});
  PlacePiece(3, 0, 2, 21);
  OnFallTimer(Window());
  EXPECT_EQ(gameState.score, 210);
  EXPECT_EQ(gameState.interval, 550);
  EXPECT_TRUE(Contains(TakeTrace(), "text 4 第 1 关"));
}

TEST_F(ScoringTest, LevelsAreNotSteppedThroughOneByOne) {
  gameState.score = 7450;
  for (int row = 19; row < kRows; ++row) FillRowExcept(row, {5});
  PlacePiece(2, kUprightBar, 3, 19);
  OnFallTimer(Window());
  EXPECT_EQ(gameState.score, 7550);
  EXPECT_EQ(gameState.interval, 100);
  const std::vector<std::string> lines = TakeTrace();
  EXPECT_TRUE(Contains(lines, "text 4 第 9 关"));
  EXPECT_FALSE(Contains(lines, "text 4 第 8 关"));
}

class GameEndTest : public GameTest {};

TEST_F(GameEndTest, ALandingInTheTopRowStopsTheTimerRepaintsAndSaysSo) {
  StartGame();
  // Whatever the first piece, the row below the spawn point is blocked.
  for (int column = 3; column <= 6; ++column) Settle(column, 1);
  const int shape = gameState.curShape;
  const int nextShape = gameState.nextShape;
  OnFallTimer(Window());
  EXPECT_TRUE(IsGameOver());
  EXPECT_EQ(gameState.curShape, shape) << "the landed piece stays the falling piece";
  EXPECT_EQ(gameState.curY, 0);
  EXPECT_EQ(gameState.nextShape, nextShape) << "no new piece is brought in";
  const std::vector<std::string> expected = {"timer set 600", "text 4 第 0 关", "timer kill",
                                             "invalidate keep", "box ok \"\" \"游戏结束\""};
  EXPECT_EQ(TakeTrace(), expected);
  EXPECT_FALSE(FallTimerArmed());
}

TEST_F(GameEndTest, TheDownKeyEndsTheGameWithAnExclamationMark) {
  StartGame();
  for (int column = 3; column <= 6; ++column) Settle(column, 1);
  OnPieceKey(Window(), 40);
  const std::vector<std::string> lines = TakeTrace();
  EXPECT_EQ(lines.back(), "box ok \"\" \"游戏结束!\"");
}

TEST_F(GameEndTest, ANewPieceOverlappingRowOneLandsInPlaceAndEndsTheGame) {
  StartGame();
  PlacePiece(6, 0, 2, 0);  // T: (3,0) (4,0) (4,1) (5,0)
  Settle(4, 1, 2);
  Settle(4, 2, 2);
  OnFallTimer(Window());
  EXPECT_TRUE(IsGameOver());
  EXPECT_EQ(RowOf(0), "...777....");
  EXPECT_EQ(RowOf(1), "....7.....") << "the landing overwrites the cell it covers";
}
