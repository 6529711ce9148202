#include "game/commands.h"

#include <cstring>

#include "game/game.h"
#include "game/texts.h"
#include "res/resource.h"

namespace {
// After a declined question the game goes on only if it was in play before it was asked.
void ResumeAfterDeclinedQuestion(WindowHandle window) {
  if (!IsInPlay()) return;
  ArmFallTimer(window, gameState.interval);
  FocusMainWindow(window);
}

void StartFirstGame(WindowHandle window) {
  SetControlText(window, IDC_START, text::kRestart);
  gameState.started = 1;
  // The repaint comes before the first tick and chooses the first two pieces.
  InvalidateClientArea(window, false);
  ArmFallTimer(window, gameState.interval);
  FocusMainWindow(window);
}

// The piece that was falling, or that ended the game, starts again from the spawn point.
void RestartGame(WindowHandle window) {
  std::memset(&playfield, 0, sizeof playfield);
  gameState.score = 0;
  gameState.interval = kFirstInterval;
  SetControlText(window, IDC_SCORE, text::kScoreAfterRestart);
  SetControlText(window, IDC_LEVEL, text::kFirstLevel);
  // A restart from a pause plays at once, so the button must offer Pause again.
  if (gameState.running == 0) {
    gameState.running = 1;
    SetControlText(window, IDC_PAUSE, text::kPause);
  }
  PrepareNextPiece();
  InvalidateClientArea(window, true);
  ArmFallTimer(window, gameState.interval);
  FocusMainWindow(window);
}
}  // namespace

void OnStartButton(WindowHandle window) {
  if (gameState.started == 0) {
    StartFirstGame(window);
    return;
  }
  KillFallTimer(window);
  if (AskYesNo(window, text::kQuestionCaption, text::kRestartQuestion)) {
    RestartGame(window);
  } else {
    ResumeAfterDeclinedQuestion(window);
  }
}

void OnPauseButton(WindowHandle window) {
  if (IsGameOver() || gameState.started == 0) return;
  if (gameState.running == 1) {
    gameState.running = 0;
    KillFallTimer(window);
    // The focus stays on the button, so Space continues.
    SetControlText(window, IDC_PAUSE, text::kContinue);
  } else {
    gameState.running = 1;
    ArmFallTimer(window, gameState.interval);
    SetControlText(window, IDC_PAUSE, text::kPause);
    FocusMainWindow(window);
  }
}

void OnExitButton(WindowHandle window) {
  KillFallTimer(window);
  if (AskYesNo(window, text::kQuestionCaption, text::kExitQuestion)) {
    QuitProgram(0);
  } else {
    ResumeAfterDeclinedQuestion(window);
  }
}

void OnWindowDestroyed(WindowHandle window) {
  KillFallTimer(window);
  QuitProgram(0);
}
