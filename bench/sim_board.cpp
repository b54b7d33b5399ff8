// Inputs of the simulated board, set through its shared segment as the panel sets them.
#include <memory>
#include <string>

#include "board_model.h"
#include "driver.h"
#include "shared_board.h"

namespace bench {

namespace {
std::unique_ptr<sim::SharedBoard> board;
constexpr double kBetweenFloors = 1.5;
constexpr int kSensorShift = sim::kFirstSensorInput - 1;
}  // namespace

bool sim_attach() {
  std::string error;
  board = sim::SharedBoard::open(sim::board_name_from_env(), &error);
  return board != nullptr;
}

void sim_present(uint8_t inputs) {
  if (!board) return;
  board->with([&](sim::BoardState& s) {
    const int64_t now = sim::monotonic_ns();
    sim::board_advance(s, now);
    double position = kBetweenFloors;
    for (int floor = 1; floor <= sim::kFloors; ++floor)
      if (inputs & (1u << (kSensorShift + floor - 1))) position = floor;
    s.position = position;
    for (int n = 1; n <= sim::kInputs; ++n) {
      const bool sensor = n >= sim::kFirstSensorInput && n < sim::kFirstSensorInput + sim::kFloors;
      if (!sensor) sim::board_hold_input(s, n, (inputs >> (n - 1)) & 1u);
    }
    return 0;
  });
}

void sim_release(bool remove_board) {
  if (!board) return;
  const std::string name = board->name();
  board.reset();
  if (remove_board) sim::SharedBoard::remove(name);
}

}  // namespace bench
