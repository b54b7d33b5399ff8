// Another process on a board, for the shared-board tests:
//   board_helper NAME count N      increments the change counter N times under the lock
//   board_helper NAME die-holding  ends the process while it holds the board's lock
//   board_helper NAME in-use FILE  drives the board, makes FILE, and waits to be killed
//   board_helper NAME claim        0 when it gets the run of the board
//   board_helper NAME claim TEXT   0 when the run is refused, naming TEXT as the holder
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

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
  if (what == "in-use" && argc == 4) {
    board->mark_in_use();
    std::ofstream(argv[3]) << "ready\n";
    std::this_thread::sleep_for(std::chrono::minutes(1));
    return 4;
  }
  if (what == "claim" && (argc == 3 || argc == 4)) {
    std::string holder;
    const bool claimed = board->claim_for_run(&holder);
    if (argc == 3) return claimed ? 0 : 1;
    return !claimed && holder.find(argv[3]) != std::string::npos ? 0 : 1;
  }
  return 2;
}
