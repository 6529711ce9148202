// smorvala-replay: a script of window events on standard input, the trace on standard output.
#include <iostream>

#include "headless/replay.h"

int main() {
  std::ios::sync_with_stdio(false);
  return RunReplay(std::cin, std::cout, std::cerr);
}
