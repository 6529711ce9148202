#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "game/saved_game.h"
#include "headless/recording_platform.h"
#include "headless/replay.h"

namespace {
struct ReplayRun {
  int status;
  std::string trace;
  std::string errors;
};

ReplayRun Replay(const std::string& script) {
  std::istringstream in(script);
  std::ostringstream out, err;
  const int status = RunReplay(in, out, err);
  return {status, out.str(), err.str()};
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

TEST(Replay, StartAndFirstPaintWithSevenAsSeed) {
  const ReplayRun run = Replay("seed 7\nstart\npaint\n");
  EXPECT_EQ(run.status, 0);
  const std::string expected =
      "> seed 7\n> start\ntext 3 重新开始\ninvalidate keep\ntimer set 600\nfocus\n> paint\n"
      "rect 10 14 237 527 dot ffffff 000000\nrect 12 16 235 525 solid 00ff00 000000\n"
      "rect 260 110 380 185 solid ffff00 000000\n";
  EXPECT_EQ(run.trace.rfind(expected, 0), 0u) << run.trace;
  EXPECT_TRUE(run.errors.empty());
}

TEST(Replay, BlanksCommentsAndEchoes) {
  const ReplayRun run = Replay("  # a comment\n\n\t start \t\nkey\t  0\r\n   \n#start\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.trace,
            "> start\ntext 3 重新开始\ninvalidate keep\ntimer set 600\nfocus\n> key\t  0\n")
      << "echoes are trimmed but keep the blanks between words";
}

TEST(Replay, StateDumpHasTwentySixLines) {
  const ReplayRun run = Replay("state\n");
  std::istringstream lines(run.trace);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "> state");
  std::getline(lines, line);
  EXPECT_EQ(line, "score 0 interval 600 running 1 started 0 firstPaintDone 0");
  std::getline(lines, line);
  EXPECT_EQ(line, "cur 0 0 0 0 0");
  std::getline(lines, line);
  EXPECT_EQ(line, "next 0 0 0 0");
  int gridLines = 0;
  while (std::getline(lines, line)) {
    EXPECT_EQ(line, "grid ..........");
    ++gridLines;
  }
  EXPECT_EQ(gridLines, 23);
}

TEST(Replay, MalformedLinesStopWithTheirLineNumberAndKeepWhatWasTraced) {
  const char* const malformed[] = {
      "jump",     "Start",        "start now", "seed",      "seed 4294967296", "seed -1",
      "seed 0x1", "key 256",      "key",       "key 1 2",   "answer",          "answer maybe",
      "answer YES", "tick tock", "state 1",   "key +5",    "seed 1e3",
  };
  for (const char* line : malformed) {
    const ReplayRun run = Replay("# header\n\nstart\n" + std::string(line) + "\nstate\n");
    EXPECT_EQ(run.status, 2) << line;
    EXPECT_EQ(run.trace, "> start\ntext 3 重新开始\ninvalidate keep\ntimer set 600\nfocus\n") << line;
    EXPECT_EQ(run.errors.rfind("line 4: ", 0), 0u) << line << ": " << run.errors;
    EXPECT_GT(run.errors.size(), std::string("line 4: \n").size()) << "a reason follows";
  }
}

TEST(Replay, AnErrorQuotesAtMostFortyBytesOfAWordAndNoBrokenCharacter) {
  for (const std::string command : {"", "seed ", "answer "}) {
    const ReplayRun run = Replay(command + std::string(100000, '7') + "\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find("'" + std::string(40, '7') + "'...\n"), std::string::npos) << run.errors;
    EXPECT_LT(run.errors.size(), 120u) << command;
  }
  // 13 three-byte characters are 39 bytes: the 14th would be cut.
  std::string chinese;
  for (int i = 0; i < 20; ++i) chinese += "方";
  EXPECT_EQ(Replay(chinese + "\n").errors, "line 1: unknown command '" + chinese.substr(0, 39) + "'...\n");
}

TEST(Replay, NumbersAtTheEdgesOfTheirRanges) {
  EXPECT_EQ(Replay("seed 4294967295\nseed 0\nkey 0\nkey 255\nkey 007\n").status, 0);
}

TEST(Replay, AQuestionWithoutAnAnswerKeepsItsEchoAndWhatCameBefore) {
  const ReplayRun run = Replay("start\npaint\nstart\n");
  EXPECT_EQ(run.status, 2);
  const std::string tail = "> start\ntimer kill\n";
  EXPECT_EQ(run.trace.substr(run.trace.size() - tail.size()), tail);
  EXPECT_EQ(run.errors.rfind("line 3: ", 0), 0u);
}

TEST(Replay, AnswersAreUsedInOrder) {
  const ReplayRun run = Replay("start\nanswer no\nanswer yes\nstart\nstart\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.trace.find("\"重新开始游戏吗？\" no\ntimer set 600\nfocus\n> start\ntimer kill\n"
                           "box yesno \"询问\" \"重新开始游戏吗？\" yes\n"),
            std::string::npos);
}

TEST(Replay, QuitEndsTheReplayAndNothingAfterItIsRead) {
  ReplayRun run = Replay("answer yes\nexit\nthis is not a command\nstate\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.trace, "> answer yes\n> exit\ntimer kill\nbox yesno \"询问\" \"确定退出游戏吗？\" yes\nquit 0\n");
  run = Replay("close\nstate\n");
  EXPECT_EQ(run.trace, "> close\ntimer kill\nquit 0\n");
  EXPECT_EQ(Replay("answer no\nanswer yes\nclose\n").status, 0) << "answers left over are ignored";
}

TEST(Replay, EveryRunStartsFromAFreshProgram) {
  const std::string script = "seed 3\nstart\npaint\nkey 40\nstate\n";
  const ReplayRun first = Replay(script);
  Replay("start\npaint\ntick\ntick\nkey 37\n");
  EXPECT_EQ(Replay(script).trace, first.trace);
  EXPECT_EQ(Replay("start\npaint\n").trace, Replay("seed 1\nstart\npaint\n").trace.substr(9))
      << "without a seed the generator starts from 1";
}

// Recorded sessions: each script's trace must match the recorded one byte for byte.
// tools/record-replays writes them again after an intended change.
TEST(GoldenReplays, EveryRecordedSessionReplaysToTheByte) {
  int sessions = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SMORVALA_REPLAY_DIR)) {
    if (entry.path().extension() != ".script") continue;
    std::filesystem::path tracePath = entry.path();
    tracePath.replace_extension(".trace");
    const ReplayRun run = Replay(ReadFile(entry.path()));
    EXPECT_EQ(run.status, 0) << entry.path().filename() << ": " << run.errors;
    EXPECT_TRUE(run.trace == ReadFile(tracePath)) << entry.path().filename() << " differs from its trace";
    ++sessions;
  }
  EXPECT_GE(sessions, 3);
}

// Each recorded session cut where its game is in play, paused there, written out, read back into
// a fresh program and played on: the window shows the texts it showed, and the state and every
// operation after the cut are those of the session played through, paused at the cut.
TEST(GoldenReplays, AGameReadBackPlaysOnAsTheGamePlayedWithoutABreak) {
  for (const auto& entry : std::filesystem::directory_iterator(SMORVALA_REPLAY_DIR)) {
    if (entry.path().extension() != ".script") continue;
    std::istringstream script(ReadFile(entry.path()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(script, line);) lines.push_back(line + "\n");
    for (std::size_t cut = 1; cut < lines.size(); cut += lines.size() < 200 ? 1 : lines.size() / 4) {
      const std::string before = std::accumulate(lines.begin(), lines.begin() + cut, std::string()) + "pause\n";
      const std::string after = std::accumulate(lines.begin() + cut, lines.end(), std::string());
      const std::string played = Replay(before).trace, saving = Replay(before + "save\n").trace;
      const std::string saved = saving.substr(played.size() + 13, saving.size() - played.size() - 14);
      const std::string whole = Replay(before + "state\npause\n" + after).trace.substr(played.size());
      // Passed over: no game in play at the cut, or an answer queued before it for a question after it.
      if (saved == "none" || whole.find("running 0") > whole.find("\ncur") || lines[cut - 1].rfind("answer", 0) == 0) {
        continue;
      }
      std::string shown[6] = {"", "", "", "开始", "第 0 关", "分数: 0"};
      std::istringstream texts(played);
      for (std::string line; std::getline(texts, line);) {
        if (line.rfind("text ", 0) == 0) shown[line[5] - '0'] = line.substr(7);
      }
      EXPECT_TRUE(Replay("load " + saved + "\nstate\npause\n" + after).trace ==
                  "> load " + saved + "\ntimer kill\ntext 3 " + shown[3] + "\ntext 1 " + shown[1] + "\ntext 4 " +
                      shown[4] + "\ntext 5 " + shown[5] + "\ninvalidate erase\n" + whole)
          << entry.path().filename() << " cut at " << cut;
    }
  }
}

// The fuzzer's saved games: each whole one is read back, and each broken one, a field or a cell
// away from a whole one, is refused.
TEST(SavedGames, WholeOnesAreReadBackAndBrokenOnesRefused) {
  std::ostringstream trace;
  for (const auto& entry : std::filesystem::directory_iterator(SMORVALA_SAVES_DIR)) {
    StartUpHeadless(trace);
    const std::string line = ReadFile(entry.path());
    EXPECT_EQ(ReadBackGame(HeadlessWindow(), line.data(), line.size()),
              entry.path().filename().string().rfind("whole-", 0) == 0) << entry.path().filename();
  }
}
