// Runs a script of window events through the real game on the recording platform.
#ifndef SMORVALA_REPLAY_H
#define SMORVALA_REPLAY_H

#include <istream>
#include <ostream>

// The program's start-up on the recording platform: a fresh game, the palette, and the
// generator seeded by the (headless) clock. The trace goes to `trace`; the pixels are drawn
// into the recorded surface only when `rasterise` is set.
void StartUpHeadless(std::ostream& trace, bool rasterise = false);

// Writes the trace to `trace` and a failure, as "line K: reason", to `errors`; returns the
// exit status: 0, 2 for a malformed line or a question with no answer queued, or 3 where the
// game left a drawing context unreleased.
int RunReplay(std::istream& script, std::ostream& trace, std::ostream& errors);

#endif
