// The shared-board tests' fixture: a board of this test process, and segments forged
// by hand as another program might have left them.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "shared_board.h"
#include "simulated_board/os_helpers.h"

namespace simtest {

inline std::string unique_name(const char* what) {
  return std::string("placasim-test-") + what + "-" + std::to_string(simtest::process_id());
}

class Shared : public ::testing::Test {
 protected:
  void TearDown() override {
    simtest::drop_segment(name);
    sim::SharedBoard::remove(name);
  }
  // Writes a segment by hand, as another program might have left it.
  void forge(std::size_t size, uint64_t magic, uint32_t version, uint32_t recorded_size) {
    std::vector<unsigned char> bytes(size, 0);
    if (size >= sim::segment_facts().size) {
      const sim::SegmentFacts f = sim::segment_facts();
      std::memcpy(&bytes[f.magic_offset], &magic, sizeof magic);
      std::memcpy(&bytes[f.version_offset], &version, sizeof version);
      std::memcpy(&bytes[f.size_offset], &recorded_size, sizeof recorded_size);
      double position = 2.0;
      std::memcpy(&bytes[f.board_offset + offsetof(sim::BoardState, position)], &position, sizeof position);
    }
    ASSERT_TRUE(simtest::forge_segment(name, bytes));
  }
  std::string refusal() {
    std::string error;
    EXPECT_EQ(sim::SharedBoard::open(name, &error), nullptr);
    return error;
  }
  std::string name = unique_name("shared");
  const sim::SegmentFacts facts = sim::segment_facts();
};


inline double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}
// How long a refusal over a lock nobody lets go may take.
constexpr double kLockRefusalBound = sim::kLockWaitMs / 1000.0 + 1.5;

}  // namespace simtest
