#include "game/saved_game.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "game/fall_step.h"
#include "game/game.h"
#include "game/shape_generator.h"
#include "game/texts.h"
#include "res/resource.h"

namespace {
// The line: these numbers in decimal, each followed by a comma, then the 230 cells row by row
// from the top, each '.' for an empty cell or the colour of a settled one. The rest of the state
// follows from them: the colours of the pieces, the speed, the preview's place.
enum Number { kForm, kScore, kWording, kShape, kRotation, kColumn, kRow, kNextShape, kGenerator, kNumberCount };

// What the score box shows: its first text, its text after a restart, or the points won.
enum Wording { kFirstWording, kRestartWording, kPointsWording };

// Every landing's points are a multiple of this.
constexpr long long kPointsUnit = 10;
constexpr char kEmptyCell = '.';

struct SavedGame {
  long long numbers[kNumberCount];
  Playfield field;
};

bool InRange(long long value, long long low, long long high) { return value >= low && value <= high; }

// Writes a whole game's line, closed by a NUL; returns its length.
int Format(const SavedGame& saved, char (&line)[kSavedGameCapacity]) {
  char* at = line;
  for (long long value : saved.numbers) {
    at = std::to_chars(at, line + kSavedGameCapacity, value).ptr;
    *at++ = ',';
  }
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const int index = CellIndex(column, row);
      *at++ = saved.field.occupied[index] == 1 ? static_cast<char>('0' + saved.field.color[index]) : kEmptyCell;
    }
  }
  *at = '\0';
  return static_cast<int>(at - line);
}

// The fields as they stand, judged by IsWholeGame; false where the line has not their shape.
bool Parse(const char* line, std::size_t length, SavedGame& saved) {
  const char* at = line;
  const char* const end = line + length;
  for (long long& number : saved.numbers) {
    const std::from_chars_result read = std::from_chars(at, end, number);
    if (read.ec != std::errc() || read.ptr == end || *read.ptr != ',') return false;
    at = read.ptr + 1;
  }
  if (end - at != kCellCount) return false;
  saved.field = Playfield{};
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const char cell = *at++;
      if (cell == kEmptyCell) continue;
      if (cell < '1' || cell > '0' + kShapeCount) return false;
      saved.field.occupied[CellIndex(column, row)] = 1;
      saved.field.color[CellIndex(column, row)] = cell - '0';
    }
  }
  return true;
}

// No cell in the ceiling row, as the game would be over; no full row, as a landing clears it at
// once; and an even count, as each landing settles four cells and each cleared row takes ten.
bool SettledCellsArePlayed(const Playfield& field) {
  int settled = 0;
  for (int row = 0; row < kRows; ++row) {
    int inRow = 0;
    for (int column = 0; column < kColumns; ++column) inRow += field.occupied[CellIndex(column, row)];
    if ((row == 0 && inRow > 0) || inRow == kColumns) return false;
    settled += inRow;
  }
  return settled % 2 == 0;
}

// Inside the well and on no settled cell, but where it enters: the game sets a new piece there
// without a test, over settled cells of row 1.
bool PieceIsWhereItCanBe(const SavedGame& saved) {
  const long long* n = saved.numbers;
  if (!InRange(n[kColumn], -kColumns, kColumns) || !InRange(n[kRow], 0, kRows)) return false;
  const bool entering = n[kColumn] == kSpawnX && n[kRow] == kSpawnY && n[kRotation] == 0;
  for (const CellOffset& cell : ShapeTable[n[kShape]][n[kRotation]]) {
    const long long column = n[kColumn] + cell.dx;
    const long long row = n[kRow] + cell.dy;
    if (!InRange(column, 0, kColumns - 1) || row >= kRows) return false;
    const int index = CellIndex(static_cast<int>(column), static_cast<int>(row));
    if (saved.field.occupied[index] == 1 && !entering) return false;
  }
  return true;
}

bool IsWholeGame(const SavedGame& saved) {
  const long long* n = saved.numbers;
  const long long score = n[kScore];
  if (n[kForm] != kSavedGameForm || !InRange(score, 0, kSavedScoreLimit) || score % kPointsUnit != 0) return false;
  if (score > 0 ? n[kWording] != kPointsWording : !InRange(n[kWording], kFirstWording, kRestartWording)) return false;
  if (!InRange(n[kShape], 0, kShapeCount - 1) || !InRange(n[kRotation], 0, kRotationCount - 1) ||
      !InRange(n[kNextShape], 0, kShapeCount - 1) || !InRange(n[kGenerator], 0, UINT32_MAX)) {
    return false;
  }
  if (!SettledCellsArePlayed(saved.field) || !PieceIsWhereItCanBe(saved)) return false;
  // The preview is the generator's last draw; while the first piece of the process falls, that
  // piece is, as it was drawn after the preview, which is then the draw before it. That piece
  // falls before any landing or points; a restart before the first repaint comes before it.
  const auto state = static_cast<std::uint32_t>(n[kGenerator]);
  const bool firstPiece = score == 0 && std::none_of(std::begin(saved.field.occupied), std::end(saved.field.occupied),
                                                      [](std::int32_t settled) { return settled != 0; });
  return n[kNextShape] == RandomOfState(state) % kShapeCount ||
         (firstPiece && n[kShape] == RandomOfState(state) % kShapeCount &&
          n[kNextShape] == RandomOfState(PreviousShapeGeneratorState(state)) % kShapeCount);
}

}  // namespace

int WriteOutGame(const char* scoreBoxText, char (&line)[kSavedGameCapacity]) {
  line[0] = '\0';
  const GameState& g = gameState;
  if (g.started != 1 || g.firstPaintDone != 1) return 0;
  const long long wording = g.score > 0 ? kPointsWording
                            : std::strcmp(scoreBoxText, text::kScoreAfterRestart) == 0 ? kRestartWording
                                                                                       : kFirstWording;
  const SavedGame saved = {{kSavedGameForm, g.score, wording, g.curShape, g.curRot, g.curX, g.curY, g.nextShape,
                            shapeGeneratorState},
                           playfield};
  return IsWholeGame(saved) ? Format(saved, line) : 0;
}

bool ReadBackGame(WindowHandle window, const char* line, std::size_t length) {
  SavedGame saved;
  char canonical[kSavedGameCapacity];
  if (!Parse(line, length, saved) || !IsWholeGame(saved) ||
      Format(saved, canonical) != static_cast<int>(length) || std::memcmp(canonical, line, length) != 0) {
    return false;
  }
  const long long* n = saved.numbers;
  const LevelRow& level = LevelForScore(static_cast<int>(n[kScore]));
  GameState& g = gameState;
  g.score = static_cast<std::int32_t>(n[kScore]);
  g.interval = level.interval;
  g.running = 0;
  g.started = 1;
  g.firstPaintDone = 1;
  g.curShape = static_cast<std::int32_t>(n[kShape]);
  g.curRot = static_cast<std::int32_t>(n[kRotation]);
  g.curX = static_cast<std::int32_t>(n[kColumn]);
  g.curY = static_cast<std::int32_t>(n[kRow]);
  g.curColor = g.curShape + 1;
  g.nextShape = static_cast<std::int32_t>(n[kNextShape]);
  g.nextColor = g.nextShape + 1;
  g.previewX = kSpawnX + kPreviewOffsetX;
  g.previewY = kSpawnY + kPreviewOffsetY;
  playfield = saved.field;
  SeedShapeGenerator(static_cast<std::uint32_t>(n[kGenerator]));
  KillFallTimer(window);
  SetControlText(window, IDC_START, text::kRestart);
  SetControlText(window, IDC_PAUSE, text::kContinue);
  SetControlText(window, IDC_LEVEL, level.text);
  if (n[kWording] == kPointsWording) {
    AddLineScore(window, 0);  // no rows: the score box shows the score as it stands
  } else {
    SetControlText(window, IDC_SCORE, n[kWording] == kFirstWording ? text::kFirstScore : text::kScoreAfterRestart);
  }
  InvalidateClientArea(window, true);
  return true;
}
