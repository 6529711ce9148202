// smorvala-replay: a script of window events on standard input, the trace on standard output.
#include <cstring>
#include <iostream>

#include "headless/replay.h"

namespace {
constexpr const char* kUsage =
    "Usage: smorvala-replay [--help] < SCRIPT > TRACE\n"
    "Plays a script of window events, one per line, through the game and writes every call the\n"
    "game makes to the platform. A malformed line or an unanswered question ends the run with\n"
    "status 2 and its line number on standard error; a drawing context the game left unreleased\n"
    "ends it with status 3.\n";
constexpr int kBadUsage = 2;
}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::cout << kUsage;
    return 0;
  }
  if (argc > 1) {
    std::cerr << "smorvala-replay: unexpected argument '" << argv[1] << "'\n" << kUsage;
    return kBadUsage;
  }
  std::ios::sync_with_stdio(false);
  return RunReplay(std::cin, std::cout, std::cerr);
}
