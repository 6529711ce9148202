// The data that the rules, the painting and every front end work on: the shapes, the playfield
// of settled cells, the one process-wide game state and the level table, with the tests that
// carry no drawing.
#ifndef SMORVALA_GAME_H
#define SMORVALA_GAME_H

#include <cstdint>

constexpr int kColumns = 10;
constexpr int kRows = 23;
constexpr int kCellCount = kColumns * kRows;
constexpr int kShapeCount = 7;
constexpr int kRotationCount = 4;
constexpr int kCellsPerPiece = 4;

// Colour indices besides the shapes' own (shape s is drawn in s + 1).
constexpr int kEraseColour = 0;
constexpr int kFlashColour = 8;

// Every new falling piece starts here, in rotation 0.
constexpr int kSpawnX = 2;
constexpr int kSpawnY = 0;
// Where the preview piece is drawn, relative to the spawn point.
constexpr int kPreviewOffsetX = 9;
constexpr int kPreviewOffsetY = 5;

constexpr int kFirstInterval = 600;

// A cell of a piece, relative to the piece's origin: dx columns right, dy rows down.
struct CellOffset {
  std::int32_t dx;
  std::int32_t dy;
};

extern const CellOffset ShapeTable[kShapeCount][kRotationCount][kCellsPerPiece];

// Two grids stored column-major: the cell at column c, row r is entry c * kRows + r.
struct Playfield {
  std::int32_t occupied[kCellCount];  // 0 empty, 1 settled
  std::int32_t color[kCellCount];     // colour index, meaningful only where occupied
};

inline int CellIndex(int column, int row) { return column * kRows + row; }

struct GameState {
  std::int32_t score = 0;
  std::int32_t interval = kFirstInterval;
  std::int32_t running = 1;
  std::int32_t started = 0;
  std::int32_t firstPaintDone = 0;
  std::int32_t curShape = 0;
  std::int32_t curRot = 0;
  std::int32_t curX = 0;
  std::int32_t curY = 0;
  std::int32_t curColor = 0;
  std::int32_t nextShape = 0;
  std::int32_t nextColor = 0;
  std::int32_t previewX = 0;
  std::int32_t previewY = 0;
};

// Read and written only on the thread that runs the main window.
extern Playfield playfield;
extern GameState gameState;

struct LevelRow {
  std::int32_t scoreAbove;  // the row applies to scores strictly greater than this
  std::int32_t interval;
  const char* text;
};

constexpr int kLevelCount = 10;
// Scanned from the top; the last row catches every score.
extern const LevelRow LevelTable[kLevelCount];

// The row for a score: the game's as it plays, and a saved game's as it is read back.
inline const LevelRow& LevelForScore(int score) {
  for (const LevelRow& level : LevelTable) {
    if (score > level.scoreAbove) return level;
  }
  return LevelTable[kLevelCount - 1];
}

bool PieceFits(int rot, int shape, int x, int y);
// A settled cell in the ceiling row ends the game; nothing else records it.
bool IsGameOver();
// Resets the start position and rotation and draws the shape of the piece after this one.
void PrepareNextPiece();
// Keys act only while a game is in play: started, not paused and not over.
bool IsInPlay();

#endif
