// A game in progress written out as one short line, and read back: the playfield, the state of
// play and the shape generator's state. The web edition keeps it in the page's storage; the
// Windows program never calls it.
#ifndef SMORVALA_SAVED_GAME_H
#define SMORVALA_SAVED_GAME_H

#include <cstddef>

#include "game/platform.h"

// The line's first field. A line of any other form is refused, so a change of the form takes the
// next number.
constexpr int kSavedGameForm = 1;

// Room for the longest line and its closing NUL.
constexpr int kSavedGameCapacity = 320;

// The highest score a line holds. A game read back plays on without end: this leaves room for
// more than ten million landings of 100 points before the score would overflow.
constexpr int kSavedScoreLimit = 1000000000;

// Writes the game started, its first pieces chosen and not over, as one line of printable ASCII
// with no blank, closed by a NUL; returns its length, 0 where there is no such game. The game
// sets the score box's text and never reads it back, so the caller says what the box shows: a
// score of 0 has two wordings.
int WriteOutGame(const char* scoreBoxText, char (&line)[kSavedGameCapacity]);

// Resumes the game of a line that WriteOutGame wrote, paused as the Pause button leaves a game,
// with the texts the window showed, and asks for a repaint. A line that is not a whole, valid
// game of this form is refused, and nothing changes; returns whether the line was read.
bool ReadBackGame(WindowHandle window, const char* line, std::size_t length);

#endif
