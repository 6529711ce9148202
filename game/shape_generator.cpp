#include "game/shape_generator.h"

#include "game/game.h"

namespace {
// A linear congruential generator; the draw keeps bits 16 to 30 of the new state.
std::uint32_t generatorState = 1;
}  // namespace

void SeedShapeGenerator(std::uint32_t seed) { generatorState = seed; }

int NextRandom() {
  generatorState = generatorState * 214013u + 2531011u;
  return static_cast<int>((generatorState >> 16) & 0x7FFFu);
}

int DrawShape() { return NextRandom() % kShapeCount; }
