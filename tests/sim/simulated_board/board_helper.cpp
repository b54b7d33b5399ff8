// Another process on a board, for the shared-board tests:
//   board_helper NAME count N      increments the change counter N times under the lock
//   board_helper NAME die-holding  ends the process while it holds the board's lock
//   board_helper NAME in-use FILE  drives the board, makes FILE, and waits to be killed
//   board_helper NAME hold FILE    takes the board's lock, makes FILE, and waits to be killed
//   board_helper NAME claim        0 when it gets the run of the board
//   board_helper NAME claim TEXT   0 when the run is refused, naming TEXT as the holder
//   board_helper NAME held INPUT SECONDS
//                                  polls the board every 10 ms for SECONDS, as a lift
//                                  program would, and prints how long INPUT was held
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "shared_board.h"

namespace {

int held(sim::SharedBoard& board, int input, double seconds) {
  const int64_t start = sim::monotonic_ns();
  int64_t first = -1, last = -1;
  for (int64_t now = start; now - start < static_cast<int64_t>(seconds * sim::kNanosPerSecond);
       now = sim::monotonic_ns()) {
    const uint8_t inputs = board.with([&](sim::BoardState& s) {
      sim::board_advance(s, now);
      return sim::board_inputs(s);
    });
    if (inputs & (1u << (input - 1))) {
      if (first < 0) first = now;
      last = now;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::printf("%.3f\n", first < 0 ? 0.0 : static_cast<double>(last - first) / sim::kNanosPerSecond);
  return 0;
}

}  // namespace

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
  if (what == "hold" && argc == 4) {
    board->with([&](sim::BoardState&) {
      std::ofstream(argv[3]) << "holding\n";
      std::this_thread::sleep_for(std::chrono::minutes(1));
    });
    return 4;
  }
  if (what == "held" && argc == 5) return held(*board, std::atoi(argv[3]), std::atof(argv[4]));
  if (what == "claim" && (argc == 3 || argc == 4)) {
    std::string holder;
    const bool claimed = board->claim_for_run(&holder);
    if (argc == 3) return claimed ? 0 : 1;
    return !claimed && holder.find(argv[3]) != std::string::npos ? 0 : 1;
  }
  return 2;
}
