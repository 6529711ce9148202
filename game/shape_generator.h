// The generator that picks shapes: the same seed gives the same shapes on every platform.
#ifndef SMORVALA_SHAPE_GENERATOR_H
#define SMORVALA_SHAPE_GENERATOR_H

#include <cstdint>

void SeedShapeGenerator(std::uint32_t seed);
// 0 to 32767.
int NextRandom();
// 0 to 6, each draw independent of the ones before.
int DrawShape();

#endif
