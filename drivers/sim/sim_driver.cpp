// The port driver "io" of the simulated board: every access goes to the shared board
// named by PLACASIM_BOARD, which the model advances to the present on every access,
// so the lift moves right with or without a panel watching.
#include <cstdio>

#include "port_driver.h"
#include "shared_board.h"

namespace {

sim::SharedBoard* board() {
  // Never destroyed: exit handlers of the callers may still touch the board.
  static sim::SharedBoard* instance = [] {
    std::string error;
    auto opened = sim::SharedBoard::open(sim::board_name_from_env(), &error);
    if (!opened) std::fprintf(stderr, "io (simulated board): %s\n", error.c_str());
    return opened.release();
  }();
  return instance;
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

}  // namespace

void port_driver::with_bytes(Operation& op) {
  sim::SharedBoard* b = board();
  if (!b) {
    DetachedBytes detached;
    op.run(detached);
    return;
  }
  b->with([&](sim::BoardState& s) {
    ModelBytes bytes(s, sim::monotonic_ns());
    op.run(bytes);
  });
}

// True once the board is attached; false when its segment was refused.
bool port_driver::installed() { return board() != nullptr; }
