// Plays a whole game through the real game code with a simple placement heuristic and
// writes the session as a replay script, so recorded sessions can reach every level and
// clear one to four rows at once without anyone typing thousands of keys.
//   smorvala-session-maker SEED TARGET_SCORE > session.script
// Statistics go to standard error.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "game/board_painting.h"
#include "game/commands.h"
#include "game/game.h"
#include "game/shape_generator.h"
#include "headless/recording_platform.h"
#include "headless/replay.h"

namespace {
constexpr int kKeyLeft = 37, kKeyUp = 38, kKeyRight = 39, kKeyDown = 40;
constexpr int kKeyA = 65, kKeyD = 68, kKeyS = 83, kKeyW = 87;

struct Grid {
  bool cell[kColumns][kRows];
};

Grid CurrentGrid() {
  Grid grid{};
  for (int c = 0; c < kColumns; ++c)
    for (int r = 0; r < kRows; ++r) grid.cell[c][r] = playfield.occupied[CellIndex(c, r)] == 1;
  return grid;
}

bool Fits(const Grid& grid, int shape, int rot, int x, int y) {
  for (const CellOffset& cell : ShapeTable[shape][rot]) {
    const int c = x + cell.dx, r = y + cell.dy;
    if (c < 0 || c >= kColumns || r >= kRows || grid.cell[c][r]) return false;
  }
  return true;
}

struct Landing {
  int cleared;
  int landingRow;  // the piece's lowest row, counted from the floor
};

// Drops the piece, clears full rows, and says how it went.
Landing Drop(Grid& grid, int shape, int rot, int x) {
  int y = 0;
  while (Fits(grid, shape, rot, x, y + 1)) ++y;
  int bottom = 0;
  for (const CellOffset& cell : ShapeTable[shape][rot]) {
    grid.cell[x + cell.dx][y + cell.dy] = true;
    bottom = std::max(bottom, y + cell.dy);
  }
  int cleared = 0;
  for (int r = 0; r < kRows; ++r) {
    bool full = true;
    for (int c = 0; c < kColumns; ++c) full = full && grid.cell[c][r];
    if (!full) continue;
    ++cleared;
    for (int rr = r; rr >= 1; --rr)
      for (int c = 0; c < kColumns; ++c) grid.cell[c][rr] = grid.cell[c][rr - 1];
    for (int c = 0; c < kColumns; ++c) grid.cell[c][0] = false;
  }
  return {cleared, kRows - bottom};
}

bool Filled(const Grid& grid, int c, int r) {
  return c < 0 || c >= kColumns || r >= kRows || (r >= 0 && grid.cell[c][r]);
}

// Lower is better. A classic weighting of landing height, transitions, holes and wells; while
// the stack is low, column 0 is kept open for the bar, so that some landings clear several
// rows at once.
double Badness(const Grid& grid, const Landing& landing) {
  int rowTransitions = 0, columnTransitions = 0, holes = 0, wells = 0, tallest = 0;
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c <= kColumns; ++c) rowTransitions += Filled(grid, c - 1, r) != Filled(grid, c, r);
  int leftHeight = 0;
  for (int c = 0; c < kColumns; ++c) {
    int r = 0;
    while (r < kRows && !grid.cell[c][r]) ++r;
    if (c == 0) leftHeight = kRows - r;
    else tallest = std::max(tallest, kRows - r);
    for (int rr = 0; rr <= kRows; ++rr) columnTransitions += Filled(grid, c, rr - 1) != Filled(grid, c, rr);
    for (; r < kRows; ++r) holes += grid.cell[c][r] ? 0 : 1;
    for (int rr = 0; rr < kRows && c > 0; ++rr) {
      if (grid.cell[c][rr] || !Filled(grid, c - 1, rr) || !Filled(grid, c + 1, rr)) continue;
      for (int depth = rr; depth < kRows && !grid.cell[c][depth]; ++depth) ++wells;
    }
  }
  double badness = 4.5 * landing.landingRow - 3.4 * landing.cleared * 4 + 3.2 * rowTransitions +
                   9.3 * columnTransitions + 7.9 * holes + 3.4 * wells;
  if (tallest < 10) {
    badness += 12.0 * leftHeight + 20.0 * landing.cleared;
    if (landing.cleared == 4) badness -= 200.0;
  }
  return badness;
}

class Session {
 public:
  explicit Session(std::uint32_t seed) {
    StartUpHeadless(trace_);
    Emit("seed " + std::to_string(seed));
  }

  void Emit(const std::string& line) {
    script_ << line << '\n';
    std::istringstream one(line);
    trace_.str("");
    if (line.rfind("seed ", 0) == 0) SeedShapeGenerator(static_cast<std::uint32_t>(std::stoul(line.substr(5))));
    else if (line == "start") OnStartButton(HeadlessWindow());
    else if (line == "paint") PaintBoard(HeadlessDC());
    else if (line == "tick") OnFallTimer(HeadlessWindow());
    else if (line.rfind("key ", 0) == 0) OnPieceKey(HeadlessWindow(), std::stoi(line.substr(4)));
    else if (line.rfind("answer ", 0) == 0) QueueAnswer(line == "answer yes");
    else if (line == "exit") OnExitButton(HeadlessWindow());
  }

  void Key(int arrow, int letter) { Emit("key " + std::to_string(++keys_ % 2 ? arrow : letter)); }

  // Moves and turns the falling piece to the best reachable place and lets it fall there.
  // Returns the number of rows the landing cleared, or -1 if no place was reachable.
  int PlacePiece() {
    const Grid grid = CurrentGrid();
    const int shape = gameState.curShape;
    double best = 1e9;
    int bestRot = -1, bestX = 0;
    for (int rot = 0; rot < kRotationCount; ++rot) {
      if (!Fits(grid, shape, rot, kSpawnX, 0)) continue;
      for (int x = -2; x < kColumns; ++x) {
        if (!Reachable(grid, shape, rot, x)) continue;
        Grid after = grid;
        const Landing landing = Drop(after, shape, rot, x);
        const double badness = Badness(after, landing);
        if (badness < best) best = badness, bestRot = rot, bestX = x;
      }
    }
    if (bestRot < 0) return -1;
    for (int rot = 0; rot < bestRot; ++rot) Key(kKeyUp, kKeyW);
    while (gameState.curX > bestX) Key(kKeyLeft, kKeyA);
    while (gameState.curX < bestX) Key(kKeyRight, kKeyD);
    const int scoreBefore = gameState.score;
    int steps = 0;
    while (PieceFits(gameState.curRot, gameState.curShape, gameState.curX, gameState.curY + 1)) {
      // Now and then the timer, not the Down key, moves the piece.
      if (++steps % 5 == 0) Emit("tick");
      else Key(kKeyDown, kKeyS);
    }
    Key(kKeyDown, kKeyS);
    const int gained = gameState.score - scoreBefore;
    return gained == 100 ? 4 : gained == 60 ? 3 : gained == 30 ? 2 : gained == 10 ? 1 : 0;
  }

  std::string Script() const { return script_.str(); }

 private:
  static bool Reachable(const Grid& grid, int shape, int rot, int x) {
    const int step = x < kSpawnX ? -1 : 1;
    for (int c = kSpawnX; c != x; c += step)
      if (!Fits(grid, shape, rot, c + step, 0)) return false;
    return true;
  }

  std::ostringstream script_;
  std::ostringstream trace_;
  int keys_ = 0;
};
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: smorvala-session-maker SEED TARGET_SCORE\n";
    return 2;
  }
  const auto seed = static_cast<std::uint32_t>(std::stoul(argv[1]));
  const int target = std::atoi(argv[2]);
  std::cout << "# Played by smorvala-session-maker " << seed << ' ' << target
            << ": a game that climbs through every level, then Exit.\n";
  Session session(seed);
  session.Emit("start");
  session.Emit("paint");
  int clears[5] = {};
  int pieces = 0;
  while (gameState.score <= target && !IsGameOver()) {
    const int cleared = session.PlacePiece();
    if (cleared < 0) break;
    ++clears[cleared];
    // The repaint the landing asked for; a few are enough to keep the trace readable.
    if (++pieces % 8 == 0 || cleared > 0) session.Emit("paint");
    if (pieces % 100 == 0) session.Emit("state");
  }
  session.Emit("state");
  session.Emit("answer yes");
  session.Emit("exit");
  std::cout << session.Script();
  std::cerr << "pieces " << pieces << " score " << gameState.score << " clears of 1..4 rows: " << clears[1]
            << ' ' << clears[2] << ' ' << clears[3] << ' ' << clears[4] << '\n';
  return 0;
}
