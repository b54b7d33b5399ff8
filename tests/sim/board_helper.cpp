// Another process on a board, for the shared-board tests:
//   board_helper NAME count N     increments the change counter N times under the lock
//   board_helper NAME die-holding ends the process while it holds the board's lock
#include <cstdlib>
#include <string>

#include "shared_board.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  auto board = sim::SharedBoard::open(argv[1], nullptr);
  if (!board) return 3;
  const std::string what = argv[2];
  if (what == "count" && argc == 4) {
    const long rounds = std::strtol(argv[3], nullptr, 10);
    for (long i = 0; i < rounds; ++i) board->with([](sim::BoardState& s) { s.changes_total += 1; });
    return 0;
  }
  if (what == "die-holding") board->with([](sim::BoardState&) { std::_Exit(0); });
  return 2;
}
