#include "game/game.h"
#include "game/shape_generator.h"

GameState gameState;

void PrepareNextPiece() {
  gameState.curRot = 0;
  const int shape = DrawShape();
  gameState.curX = kSpawnX;
  gameState.curY = kSpawnY;
  gameState.nextShape = shape;
  gameState.nextColor = shape + 1;
}

bool IsInPlay() { return gameState.started == 1 && gameState.running == 1 && !IsGameOver(); }
