// The outline of a frame as GDI draws it with a one-pixel pen: the rectangle's outermost
// pixels, walked once around from its top left corner, so that a dotted pen's dots run on
// across the corners. A dotted pen draws runs of three pixels and leaves its gaps to the
// drawing context's default opaque background, white.
#ifndef SMORVALA_FRAME_OUTLINE_H
#define SMORVALA_FRAME_OUTLINE_H

#include "game/platform.h"

constexpr Colour kOpaqueBackground = 0xFFFFFF;
constexpr int kDotRun = 3;

// Calls plot(x, y, colour) for every pixel of the outline, in the order the pen draws them.
template <typename Plot>
void WalkOutline(const PixelRect& rect, PenStyle style, Colour colour, Plot plot) {
  int step = 0;
  auto next = [&](int x, int y) {
    const bool gap = style == PenStyle::Dot && (step++ / kDotRun) % 2 == 1;
    plot(x, y, gap ? kOpaqueBackground : colour);
  };
  const int right = rect.right - 1;
  const int bottom = rect.bottom - 1;
  for (int x = rect.left; x < right; ++x) next(x, rect.top);
  for (int y = rect.top; y < bottom; ++y) next(right, y);
  for (int x = right; x > rect.left; --x) next(x, bottom);
  for (int y = bottom; y > rect.top; --y) next(rect.left, y);
}

#endif
