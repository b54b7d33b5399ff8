// The port driver "io" of the simulated board: every access goes to the shared board
// named by PLACASIM_BOARD, which the model advances to the present on every access,
// so the lift moves right with or without a panel watching.
#include <atomic>
#include <cstdio>

#include "port_driver.h"
#include "shared_board.h"

namespace {

void report(const char* error) { std::fprintf(stderr, "io (simulated board): %s\n", error); }

// Set once the board's lock turned out corrupt: from then on the board is refused.
std::atomic<bool> lost{false};

sim::SharedBoard* board() {
  // Never destroyed: exit handlers of the callers may still touch the board.
  static sim::SharedBoard* instance = [] {
    std::string error;
    auto opened = sim::SharedBoard::open(sim::board_name_from_env(), &error);
    if (!opened) report(error.c_str());
    else opened->mark_in_use();
    return opened.release();
  }();
  return lost ? nullptr : instance;
}

// The model's registers at one moment.
class ModelBytes final : public port_ops::Bytes {
 public:
  ModelBytes(sim::BoardState& state, int64_t now_ns) : state_(state), now_ns_(now_ns) {}
  uint8_t read(int64_t port) override { return sim::board_read(state_, port, now_ns_); }
  void write(int64_t port, uint8_t value) override { sim::board_write(state_, port, value, now_ns_); }

 private:
  sim::BoardState& state_;
  const int64_t now_ns_;
};

// A refused board: every read as no input active, writes go nowhere.
class DetachedBytes final : public port_ops::Bytes {
 public:
  uint8_t read(int64_t) override { return sim::kStatusLines; }
  void write(int64_t, uint8_t) override {}
};

void run_detached(port_driver::Operation& op) {
  DetachedBytes detached;
  op.run(detached);
}

}  // namespace

void port_driver::with_bytes(Operation& op) {
  sim::SharedBoard* b = board();
  if (!b) return run_detached(op);
  try {
    b->with([&](sim::BoardState& s) {
      ModelBytes bytes(s, sim::monotonic_ns());
      op.run(bytes);
    });
  } catch (const sim::BoardLost& e) {
    // The lock was never taken, or the segment went away under the operation: run it
    // again on the detached board so that it reads as all off.
    if (!lost.exchange(true)) report(e.what());
    run_detached(op);
  }
}

// True once the board is attached; false when its segment was refused or its lock
// found corrupt.
bool port_driver::installed() { return board() != nullptr; }
