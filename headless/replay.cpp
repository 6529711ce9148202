#include "headless/replay.h"

#include <cstdint>
#include <string>
#include <vector>

#include "game/board_painting.h"
#include "game/cell_drawing.h"
#include "game/commands.h"
#include "game/game.h"
#include "game/saved_game.h"
#include "game/shape_generator.h"
#include "headless/recording_platform.h"

namespace {
constexpr std::uint64_t kSeedLimit = std::uint64_t{1} << 32;
constexpr std::uint64_t kKeyLimit = 256;
constexpr int kMalformed = 2;
// The game broke a rule of the platform, which the script cannot have caused.
constexpr int kGameFault = 3;
// How much of a word an error quotes: a whole line of garbage would bury the message.
constexpr std::size_t kQuotedLimit = 40;

struct ScriptError {
  std::string reason;
};

// The word in quotes, cut after kQuotedLimit bytes, never inside a UTF-8 character.
std::string Quoted(const std::string& word) {
  if (word.size() <= kQuotedLimit) return "'" + word + "'";
  std::size_t end = kQuotedLimit;
  while (end > 0 && (static_cast<unsigned char>(word[end]) & 0xC0) == 0x80) --end;
  return "'" + word.substr(0, end) + "'...";
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& line) {
  std::size_t begin = 0;
  std::size_t end = line.size();
  while (begin < end && IsBlank(line[begin])) ++begin;
  while (end > begin && IsBlank(line[end - 1])) --end;
  return line.substr(begin, end - begin);
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const std::size_t begin = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > begin) words.push_back(line.substr(begin, i - begin));
  }
  return words;
}

// A decimal number below `limit`, digits only.
std::uint64_t Number(const std::string& word, std::uint64_t limit) {
  std::uint64_t value = 0;
  for (char c : word) {
    if (c < '0' || c > '9') throw ScriptError{"not a decimal number: " + Quoted(word)};
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value >= limit) throw ScriptError{"number out of range: " + Quoted(word)};
  }
  return value;
}

void WriteState(std::ostream& out) {
  const GameState& g = gameState;
  out << "score " << g.score << " interval " << g.interval << " running " << g.running
      << " started " << g.started << " firstPaintDone " << g.firstPaintDone << '\n';
  out << "cur " << g.curShape << ' ' << g.curRot << ' ' << g.curX << ' ' << g.curY << ' '
      << g.curColor << '\n';
  out << "next " << g.nextShape << ' ' << g.nextColor << ' ' << g.previewX << ' ' << g.previewY
      << '\n';
  for (int row = 0; row < kRows; ++row) {
    std::string cells(kColumns, '.');
    for (int column = 0; column < kColumns; ++column) {
      const int index = CellIndex(column, row);
      if (playfield.occupied[index] == 1) cells[column] = static_cast<char>('0' + playfield.color[index]);
    }
    out << "grid " << cells << '\n';
  }
}

enum class Event { Seed, Start, Pause, Exit, Close, Answer, Key, Tick, Paint, State, Save, Load };

struct ScriptCommand {
  Event event;
  std::uint32_t value;  // the seed, the key, or 1 for the answer yes
  std::string saved;    // the line to load
};

struct CommandWord {
  const char* name;
  Event event;
  bool takesArgument;
};

const CommandWord kCommandWords[] = {
    {"seed", Event::Seed, true},   {"start", Event::Start, false}, {"pause", Event::Pause, false},
    {"exit", Event::Exit, false},  {"close", Event::Close, false}, {"answer", Event::Answer, true},
    {"key", Event::Key, true},     {"tick", Event::Tick, false},   {"paint", Event::Paint, false},
    {"state", Event::State, false},  {"save", Event::Save, false},   {"load", Event::Load, true},
};

std::uint32_t Argument(Event event, const std::string& word) {
  switch (event) {
    case Event::Seed:
      return static_cast<std::uint32_t>(Number(word, kSeedLimit));
    case Event::Key:
      return static_cast<std::uint32_t>(Number(word, kKeyLimit));
    case Event::Load:
      return 0;
    default:
      if (word == "yes") return 1;
      if (word == "no") return 0;
      throw ScriptError{"an answer is 'yes' or 'no', not " + Quoted(word)};
  }
}

// The whole line is checked before anything runs, so a malformed line leaves no trace.
ScriptCommand Parse(const std::vector<std::string>& words) {
  for (const CommandWord& command : kCommandWords) {
    if (words[0] != command.name) continue;
    const std::size_t expected = command.takesArgument ? 2 : 1;
    if (words.size() != expected) {
      throw ScriptError{"'" + words[0] + "' takes " + (command.takesArgument ? "one word" : "no word") +
                        " after it"};
    }
    if (!command.takesArgument) return {command.event, 0, {}};
    return {command.event, Argument(command.event, words[1]), words[1]};
  }
  throw ScriptError{"unknown command " + Quoted(words[0])};
}

// Each event reaches the game as the window procedure hands it on.
void Execute(const ScriptCommand& command, std::ostream& trace) {
  WindowHandle window = HeadlessWindow();
  switch (command.event) {
    case Event::Seed: SeedShapeGenerator(command.value); break;
    case Event::Start: OnStartButton(window); break;
    case Event::Pause: OnPauseButton(window); break;
    case Event::Exit: OnExitButton(window); break;
    case Event::Close: OnWindowDestroyed(window); break;
    case Event::Answer: QueueAnswer(command.value == 1); break;
    case Event::Key: OnPieceKey(window, static_cast<int>(command.value)); break;
    case Event::Tick: OnFallTimer(window); break;
    case Event::Paint:
      BeginHeadlessPaint();
      PaintBoard(HeadlessDC());
      break;
    case Event::State: WriteState(trace); break;
    case Event::Save: {
      char line[kSavedGameCapacity];
      trace << "saved " << (WriteOutGame(ScoreBoxText().c_str(), line) > 0 ? line : "none") << '\n';
      break;
    }
    case Event::Load:
      if (!ReadBackGame(window, command.saved.data(), command.saved.size())) trace << "refused\n";
      break;
  }
}

int Fail(std::ostream& trace, std::ostream& errors, int lineNumber, const std::string& reason,
         int status = kMalformed) {
  trace.flush();
  errors << "line " << lineNumber << ": " << reason << '\n';
  errors.flush();
  return status;
}
}  // namespace

void StartUpHeadless(std::ostream& trace, bool rasterise) {
  ResetRecordingPlatform(&trace, rasterise);
  gameState = GameState{};
  playfield = Playfield{};
  CreateCellPalette();
  SeedShapeGenerator(ClockSeed());
}

int RunReplay(std::istream& script, std::ostream& trace, std::ostream& errors) {
  StartUpHeadless(trace);
  std::string raw;
  for (int lineNumber = 1; std::getline(script, raw); ++lineNumber) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> words = Words(line);
    try {
      const ScriptCommand command = Parse(words);
      trace << "> " << line << '\n';
      Execute(command, trace);
    } catch (const ScriptError& error) {
      return Fail(trace, errors, lineNumber, error.reason);
    } catch (const NoAnswerQueued& error) {
      return Fail(trace, errors, lineNumber, error.what());
    }
    // On Windows each one left behind is a device context lost for good.
    if (WindowDCsHeld() != 0) {
      return Fail(trace, errors, lineNumber, "a drawing context was left unreleased, or released twice", kGameFault);
    }
    if (QuitRequested()) break;
  }
  trace.flush();
  return 0;
}
