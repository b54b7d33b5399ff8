// A board on a fake clock, driven through its registers, for the model's tests.
#pragma once

#include <gtest/gtest.h>

#include "board_model.h"

namespace sim {

constexpr int64_t kMs = 1000000;
constexpr int64_t kS = 1000 * kMs;

class Model : public ::testing::Test {
 protected:
  void SetUp() override { board_reset(b, now); }
  void out(int32_t port, uint8_t v) { board_write(b, port, v, now); }
  uint8_t in(int32_t port) { return board_read(b, port, now); }
  void set_outputs(uint8_t v) {
    out(kControlPort, kControlOutputs);
    out(kDataPort, v);
  }
  uint8_t status_after(uint8_t control) {
    out(kControlPort, control);
    return in(kStatusPort);
  }
  // The conversion sequence the board primitives use.
  uint8_t convert(uint8_t mask) {
    out(kControlPort, 5), out(kDataPort, mask), out(kControlPort, 8), out(kControlPort, 2);
    const uint8_t low = (in(kStatusPort) & 0x78) >> 3;
    out(kControlPort, 5), out(kDataPort, mask), out(kControlPort, 8), out(kControlPort, 0);
    const uint8_t high = (in(kStatusPort) & 0x78) >> 3;
    return static_cast<uint8_t>(low | high << 4);
  }
  void run_for(int64_t ns) {
    now += ns;
    board_advance(b, now);
  }
  BoardState b{};
  int64_t now = 5 * kS;
};

}  // namespace sim
