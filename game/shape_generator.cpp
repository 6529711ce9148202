#include "game/shape_generator.h"

#include "game/game.h"

// A linear congruential generator.
std::uint32_t shapeGeneratorState = 1;

void SeedShapeGenerator(std::uint32_t seed) { shapeGeneratorState = seed; }

int NextRandom() {
  shapeGeneratorState = shapeGeneratorState * kShapeMultiplier + kShapeIncrement;
  return RandomOfState(shapeGeneratorState);
}

int DrawShape() { return NextRandom() % kShapeCount; }
