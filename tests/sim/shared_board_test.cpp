// One board seen by several mappings and processes; foreign and spoilt segments refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "os_helpers.h"
#include "shared_board.h"

namespace {

using sim::SharedBoard;

std::string unique_name(const char* what) {
  return std::string("placasim-test-") + what + "-" + std::to_string(simtest::process_id());
}

class Shared : public ::testing::Test {
 protected:
  void TearDown() override {
    simtest::drop_segment(name);
    SharedBoard::remove(name);
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
    EXPECT_EQ(SharedBoard::open(name, &error), nullptr);
    return error;
  }
  std::string name = unique_name("shared");
  const sim::SegmentFacts facts = sim::segment_facts();
};

TEST_F(Shared, FirstOpenCreatesABoardAtPowerOnLaterOnesJoinIt) {
  std::string error;
  auto first = SharedBoard::open(name, &error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_TRUE(first->created());
  auto second = SharedBoard::open(name, &error);
  ASSERT_NE(second, nullptr) << error;
  EXPECT_FALSE(second->created());
  EXPECT_EQ(first->with([](sim::BoardState& s) { return s.position; }), sim::kBottomFloor);
  first->with([](sim::BoardState& s) {
    s.outputs = 0x42;
    sim::board_set_analog(s, 3, 77);
  });
  EXPECT_EQ(second->with([](sim::BoardState& s) { return s.outputs; }), 0x42);
  EXPECT_EQ(second->with([](sim::BoardState& s) { return s.analog[2]; }), 77);
}

TEST_F(Shared, ProcessesShareTheRegistersUnderOneLock) {
  std::string error;
  auto board = SharedBoard::open(name, &error);
  ASSERT_NE(board, nullptr) << error;
  constexpr int kChildren = 4, kRounds = 20000;
  // Increments without the lock would lose some of these.
  std::vector<simtest::Process> children;
  for (int c = 0; c < kChildren; ++c)
    children.push_back(simtest::spawn({BOARD_HELPER, name, "count", std::to_string(kRounds)}));
  for (const simtest::Process child : children) EXPECT_EQ(simtest::wait_for(child), 0);
  EXPECT_EQ(board->with([](sim::BoardState& s) { return s.changes_total; }),
            static_cast<uint64_t>(kChildren) * kRounds);
}

TEST_F(Shared, LockHeldByAKilledProcessIsRecovered) {
  std::string error;
  auto board = SharedBoard::open(name, &error);
  ASSERT_NE(board, nullptr) << error;
  ASSERT_EQ(simtest::wait_for(simtest::spawn({BOARD_HELPER, name, "die-holding"})), 0);
  board->with([](sim::BoardState& s) { s.outputs = 9; });
  EXPECT_EQ(board->with([](sim::BoardState& s) { return s.outputs; }), 9);
}

TEST_F(Shared, ForeignSegmentOfTheRightSizeIsRefused) {
  forge(facts.size, 0x1122334455667788ull, facts.version, static_cast<uint32_t>(facts.size));
  const std::string error = refusal();
  EXPECT_NE(error.find("not a placasim board"), std::string::npos) << error;
  EXPECT_NE(error.find(sim::segment_path(name)), std::string::npos) << "says which segment: " << error;
}

TEST_F(Shared, SegmentOfTheWrongSizeIsRefused) {
  forge(facts.size + 8, facts.magic, facts.version, static_cast<uint32_t>(facts.size + 8));
  EXPECT_NE(refusal().find("wrong size"), std::string::npos);
  simtest::drop_segment(name);
  SharedBoard::remove(name);
  forge(16, 0, 0, 0);
  EXPECT_NE(refusal().find("wrong size"), std::string::npos);
}

TEST_F(Shared, SegmentOfAnotherVersionIsRefused) {
  forge(facts.size, facts.magic, facts.version + 1, static_cast<uint32_t>(facts.size));
  EXPECT_NE(refusal().find("another version"), std::string::npos);
}

TEST_F(Shared, SegmentLeftUnfinishedIsRefusedAfterAWhile) {
  forge(facts.size, 0, facts.version, static_cast<uint32_t>(facts.size));
  EXPECT_NE(refusal().find("never finished"), std::string::npos);
}

TEST_F(Shared, SegmentWithACorruptCabinIsRefused) {
  forge(facts.size, facts.magic, facts.version, static_cast<uint32_t>(facts.size));
  const double nan = std::strtod("nan", nullptr);
  ASSERT_TRUE(simtest::patch_segment(name, facts.board_offset + offsetof(sim::BoardState, position), &nan,
                                     sizeof nan));
  EXPECT_NE(refusal().find("corrupt"), std::string::npos);
}

TEST(BoardName, ComesFromTheEnvironmentOrIsOnePerUser) {
  simtest::set_env(sim::kBoardEnv, "lab-bench_2");
  EXPECT_EQ(sim::board_name_from_env(), "lab-bench_2");
  simtest::unset_env(sim::kBoardEnv);
  const std::string own = sim::default_board_name();
  EXPECT_EQ(own.rfind("placasim-", 0), 0u) << own;
  EXPECT_TRUE(sim::valid_board_name(own)) << own;
  EXPECT_EQ(sim::board_name_from_env(), own);
#ifndef _WIN32
  EXPECT_EQ(own, "placasim-" + std::to_string(getuid()));
#endif
  simtest::set_env(sim::kBoardEnv, "");
  EXPECT_EQ(sim::board_name_from_env(), own);
  simtest::unset_env(sim::kBoardEnv);
}

TEST(BoardName, UnsafeNamesAreNotUsed) {
  for (const char* bad : {"", "a/b", "../x", ".hidden", "sp ace", "semi;colon", "ümlaut"}) {
    EXPECT_FALSE(sim::valid_board_name(bad)) << bad;
    std::string error;
    EXPECT_EQ(SharedBoard::open(bad, &error), nullptr) << bad;
    EXPECT_NE(error.find("not usable"), std::string::npos) << bad;
  }
  EXPECT_FALSE(sim::valid_board_name(std::string(sim::kMaxBoardName + 1, 'a')));
  EXPECT_TRUE(sim::valid_board_name(std::string(sim::kMaxBoardName, 'a')));
  EXPECT_TRUE(sim::valid_board_name("placasim-1000"));
}

}  // namespace
