// The generator that picks shapes: the same seed gives the same shapes on every platform.
#ifndef SMORVALA_SHAPE_GENERATOR_H
#define SMORVALA_SHAPE_GENERATOR_H

#include <cstdint>

// The generator's whole state. A saved game keeps it, so that a resumed game draws the pieces
// that the game would have drawn.
extern std::uint32_t shapeGeneratorState;

void SeedShapeGenerator(std::uint32_t seed);
// 0 to 32767.
int NextRandom();
// 0 to 6, each draw independent of the ones before.
int DrawShape();
// What the draw that left the generator in `state` returned: bits 16 to 30 of it.
constexpr int RandomOfState(std::uint32_t state) { return static_cast<int>((state >> 16) & 0x7FFFu); }

// Each draw takes the state to state * kShapeMultiplier + kShapeIncrement, modulo 2^32.
constexpr std::uint32_t kShapeMultiplier = 214013u;
constexpr std::uint32_t kShapeIncrement = 2531011u;
// The multiplier is odd, so each state has one state before it: this undoes the multiplication.
constexpr std::uint32_t kShapeMultiplierInverse = 3115528533u;
static_assert(kShapeMultiplier * kShapeMultiplierInverse == 1u);

// The state the generator was in before the draw that left it in `state`.
constexpr std::uint32_t PreviousShapeGeneratorState(std::uint32_t state) {
  return (state - kShapeIncrement) * kShapeMultiplierInverse;
}

#endif
