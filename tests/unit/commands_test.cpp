#include <cstring>

#include "game/shape_generator.h"
#include "game_fixture.h"

namespace {
constexpr int kPieceKeys[] = {37, 38, 39, 40, 'A', 'W', 'D', 'S'};

bool SameState(const GameState& a, const GameState& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool SamePlayfield(const Playfield& a, const Playfield& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

using Lines = std::vector<std::string>;
}  // namespace

class CommandTest : public GameTest {
 protected:
  void Pause() {
    StartGame();
    OnPauseButton(Window());
    TakeTrace();
  }

  void EndGame() {
    StartGame();
    for (int column = 3; column <= 6; ++column) Settle(column, 1);
    OnFallTimer(Window());
    ASSERT_TRUE(IsGameOver());
    TakeTrace();
  }

  void ExpectKeysDoNothing(const char* state) {
    for (int key : kPieceKeys) {
      const GameState before = gameState;
      const Playfield field = playfield;
      OnPieceKey(Window(), key);
      EXPECT_TRUE(TakeTrace().empty()) << state << ", key " << key;
      EXPECT_TRUE(SameState(before, gameState)) << state << ", key " << key;
      EXPECT_TRUE(SamePlayfield(field, playfield)) << state << ", key " << key;
    }
  }
};

TEST_F(CommandTest, FirstStartRenamesTheButtonRepaintsArmsTheTimerAndTakesTheFocus) {
  OnStartButton(Window());
  EXPECT_EQ(TakeTrace(), (Lines{"text 3 重新开始", "invalidate keep", "timer set 600", "focus"}));
  EXPECT_EQ(gameState.started, 1);
  EXPECT_EQ(gameState.firstPaintDone, 0) << "the repaint chooses the first pieces";
}

TEST_F(CommandTest, BeforeStartKeysAndPauseDoNothing) {
  ExpectKeysDoNothing("not started");
  OnPauseButton(Window());
  EXPECT_TRUE(TakeTrace().empty());
  EXPECT_EQ(gameState.running, 1);
}

TEST_F(CommandTest, TheFirstRepaintBringsBackAPieceMovedBeforeIt) {
  OnStartButton(Window());
  OnPieceKey(Window(), 'A');  // the blank start-up piece, moved in black before any piece exists
  EXPECT_EQ(gameState.curX, -1);
  PaintBoard(DC());
  EXPECT_EQ(gameState.curX, 2);
  EXPECT_EQ(gameState.curY, 0);
  EXPECT_EQ(gameState.curRot, 0);
}

TEST_F(CommandTest, ExitDeclinedBeforeStartArmsNoTimer) {
  QueueAnswer(false);
  OnExitButton(Window());
  EXPECT_EQ(TakeTrace(), (Lines{"timer kill", "box yesno \"询问\" \"确定退出游戏吗？\" no"}));
  EXPECT_FALSE(FallTimerArmed());
}

enum class PlayState { NotStarted, Running, Paused, Over };

class EveryStateTest : public CommandTest, public ::testing::WithParamInterface<PlayState> {
 protected:
  void Enter(PlayState state) {
    switch (state) {
      case PlayState::NotStarted: break;
      case PlayState::Running: StartGame(); break;
      case PlayState::Paused: Pause(); break;
      case PlayState::Over: EndGame(); break;
    }
    TakeTrace();
  }
};

TEST_P(EveryStateTest, ExitAnsweredYesStopsTheTimerAndQuitsWithCodeZero) {
  Enter(GetParam());
  QueueAnswer(true);
  OnExitButton(Window());
  EXPECT_EQ(TakeTrace(), (Lines{"timer kill", "box yesno \"询问\" \"确定退出游戏吗？\" yes", "quit 0"}));
  EXPECT_TRUE(QuitRequested());
  EXPECT_EQ(QuitCode(), 0);
}

TEST_P(EveryStateTest, ClosingTheWindowStopsTheTimerAndQuitsWithoutAQuestion) {
  Enter(GetParam());
  OnWindowDestroyed(Window());
  EXPECT_EQ(TakeTrace(), (Lines{"timer kill", "quit 0"}));
}

TEST_P(EveryStateTest, ADeclinedExitResumesOnlyAGameInPlay) {
  Enter(GetParam());
  const GameState before = gameState;
  QueueAnswer(false);
  OnExitButton(Window());
  Lines expected = {"timer kill", "box yesno \"询问\" \"确定退出游戏吗？\" no"};
  if (GetParam() == PlayState::Running) {
    expected.push_back("timer set 600");
    expected.push_back("focus");
  }
  EXPECT_EQ(TakeTrace(), expected);
  EXPECT_EQ(FallTimerArmed(), GetParam() == PlayState::Running);
  EXPECT_TRUE(SameState(before, gameState));
  EXPECT_FALSE(QuitRequested());
}

INSTANTIATE_TEST_SUITE_P(Commands, EveryStateTest,
                         ::testing::Values(PlayState::NotStarted, PlayState::Running,
                                           PlayState::Paused, PlayState::Over));

class StartedStateTest : public EveryStateTest {};

TEST_P(StartedStateTest, ADeclinedRestartChangesNothingAndResumesOnlyAGameInPlay) {
  Enter(GetParam());
  const GameState before = gameState;
  const Playfield field = playfield;
  QueueAnswer(false);
  OnStartButton(Window());
  Lines expected = {"timer kill", "box yesno \"询问\" \"重新开始游戏吗？\" no"};
  if (GetParam() == PlayState::Running) {
    expected.push_back("timer set 600");
    expected.push_back("focus");
  }
  EXPECT_EQ(TakeTrace(), expected);
  EXPECT_TRUE(SameState(before, gameState));
  EXPECT_TRUE(SamePlayfield(field, playfield));
}

TEST_P(StartedStateTest, RestartAnsweredYesStartsAFreshGameWithTheSameShape) {
  Enter(GetParam());
  Settle(0, 22, 3);
  gameState.score = 650;
  gameState.interval = 500;
  gameState.curRot = 1;
  const int shape = gameState.curShape;
  const int color = gameState.curColor;
  const bool wasPaused = gameState.running == 0;
  QueueAnswer(true);
  OnStartButton(Window());

  Lines expected = {"timer kill", "box yesno \"询问\" \"重新开始游戏吗？\" yes", "text 5 分数：0",
                    "text 4 第 0 关"};
  if (wasPaused) expected.push_back("text 1 暂停");
  expected.insert(expected.end(), {"invalidate erase", "timer set 600", "focus"});
  EXPECT_EQ(TakeTrace(), expected);

  EXPECT_EQ(playfield.occupied[CellIndex(0, 22)], 0);
  EXPECT_FALSE(IsGameOver());
  EXPECT_EQ(gameState.score, 0);
  EXPECT_EQ(gameState.interval, 600);
  EXPECT_EQ(gameState.running, 1);
  EXPECT_EQ(gameState.curShape, shape);
  EXPECT_EQ(gameState.curColor, color);
  EXPECT_EQ(gameState.curRot, 0);
  EXPECT_EQ(gameState.curX, 2);
  EXPECT_EQ(gameState.curY, 0);
  EXPECT_EQ(gameState.previewX, 11) << "the preview keeps its place";
  EXPECT_EQ(gameState.previewY, 5);
  EXPECT_TRUE(FallTimerArmed());

  // The new game is in play at once: the keys move the piece.
  OnPieceKey(Window(), 'D');
  EXPECT_EQ(gameState.curX, 3);
}

TEST_P(StartedStateTest, ARestartAlwaysDrawsTheNextPreviewPiece) {
  Enter(GetParam());
  QueueAnswer(true);
  SeedShapeGenerator(1);  // the restart's draw is then 41 % 7
  OnStartButton(Window());
  EXPECT_EQ(gameState.nextShape, 41 % 7);
  EXPECT_EQ(gameState.nextColor, 41 % 7 + 1);
}

INSTANTIATE_TEST_SUITE_P(Commands, StartedStateTest,
                         ::testing::Values(PlayState::Running, PlayState::Paused, PlayState::Over));

TEST_F(CommandTest, PauseStopsTheTimerAndLeavesTheFocusOnTheButton) {
  StartGame();
  OnPauseButton(Window());
  EXPECT_EQ(TakeTrace(), (Lines{"timer kill", "text 1 继续"}));
  EXPECT_EQ(gameState.running, 0);
  EXPECT_FALSE(FallTimerArmed());
}

TEST_F(CommandTest, ContinueArmsTheTimerWithTheCurrentSpeedAndTakesTheFocus) {
  Pause();
  gameState.interval = 350;
  OnPauseButton(Window());
  EXPECT_EQ(TakeTrace(), (Lines{"timer set 350", "text 1 暂停", "focus"}));
  EXPECT_EQ(gameState.running, 1);
}

TEST_F(CommandTest, KeysDoNothingWhilePaused) {
  Pause();
  ExpectKeysDoNothing("paused");
}

TEST_F(CommandTest, KeysAndPauseDoNothingOnceTheGameIsOver) {
  EndGame();
  ExpectKeysDoNothing("over");
  OnPauseButton(Window());
  EXPECT_TRUE(TakeTrace().empty());
}

TEST_F(CommandTest, ExitDeclinedWhilePausedStaysPaused) {
  Pause();
  QueueAnswer(false);
  OnExitButton(Window());
  EXPECT_FALSE(FallTimerArmed());
  EXPECT_EQ(gameState.running, 0);
}

class PieceKeyTest : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    StartGame();
    PlacePiece(6, 0, 3, 10);  // T: (4,10) (5,10) (5,11) (6,10)
  }
};

TEST_F(PieceKeyTest, BothKeySetsMoveSideways) {
  for (int key : {37, int{'A'}}) {
    OnPieceKey(Window(), key);
  }
  EXPECT_EQ(gameState.curX, 1);
  for (int key : {39, int{'D'}, 39}) {
    OnPieceKey(Window(), key);
  }
  EXPECT_EQ(gameState.curX, 4);
  EXPECT_EQ(gameState.curY, 10);
}

TEST_F(PieceKeyTest, AMoveErasesTheOldCellsThenDrawsTheNewOnes) {
  OnPieceKey(Window(), 37);
  const Lines lines = TakeTrace();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "fill 102 237 123 258 000000");  // (4,10) erased
  EXPECT_EQ(lines[4], "fill 80 237 101 258 a600cf");   // (3,10) drawn
}

TEST_F(PieceKeyTest, BothKeySetsTurnClockwiseWithTheTurnSound) {
  OnPieceKey(Window(), 38);
  EXPECT_EQ(gameState.curRot, 1);
  Lines lines = TakeTrace();
  EXPECT_EQ(lines.back(), "sound 107");
  EXPECT_EQ(lines.size(), 9u);
  OnPieceKey(Window(), 'W');
  EXPECT_EQ(gameState.curRot, 2);
  OnPieceKey(Window(), 38);
  OnPieceKey(Window(), 38);
  EXPECT_EQ(gameState.curRot, 0);
}

TEST_F(PieceKeyTest, ARefusedMoveOrTurnIsSilent) {
  PlacePiece(2, 1, -2, 10);  // the upright bar against the left wall
  OnPieceKey(Window(), 37);
  EXPECT_EQ(gameState.curX, -2);
  EXPECT_TRUE(TakeTrace().empty());
  OnPieceKey(Window(), 38);  // lying flat it would leave the well
  EXPECT_EQ(gameState.curRot, 1);
  EXPECT_TRUE(TakeTrace().empty());
  PlacePiece(6, 0, 3, 10);
  Settle(5, 12);  // under the T's turned stem
  OnPieceKey(Window(), 'W');
  EXPECT_EQ(gameState.curRot, 0);
  EXPECT_TRUE(TakeTrace().empty());
}

TEST_F(PieceKeyTest, OtherKeysDoNothing) {
  const GameState before = gameState;
  for (int key : {0, 13, 32, int{'Q'}, int{'X'}, 41, 255}) OnPieceKey(Window(), key);
  EXPECT_TRUE(TakeTrace().empty());
  EXPECT_TRUE(SameState(before, gameState));
}

TEST_F(PieceKeyTest, DownThatOnlyMovesLeavesTheTimerRunning) {
  OnPieceKey(Window(), 40);
  EXPECT_EQ(gameState.curY, 11);
  EXPECT_FALSE(Contains(TakeTrace(), "timer set 600"));
  EXPECT_TRUE(FallTimerArmed());
}
