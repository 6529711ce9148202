// Pens and brushes as plain records, for the platforms that draw the board themselves, pixel by
// pixel: the headless recorder and the browser. The Windows program hands out GDI's own.
#ifndef SMORVALA_PLAIN_PEN_AND_BRUSH_H
#define SMORVALA_PLAIN_PEN_AND_BRUSH_H

#include "game/platform.h"

struct PlatformPen {
  PenStyle style;
  Colour colour;
};

struct PlatformBrush {
  Colour colour;
};

#endif
