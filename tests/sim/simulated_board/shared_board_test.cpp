// One board seen by several mappings and processes; foreign and spoilt segments
// refused; one run per board. What only one system has is in shared_board_<system>_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "shared_board.h"
#include "simulated_board/os_helpers.h"
#include "simulated_board/shared_fixture.h"

namespace {

using sim::SharedBoard;
using simtest::Shared;

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

// A segment of this user that another may write, or one another user planted.

// A run names the process that holds the board, whether another run or a program
// driving it; the system lets go of both when the holder ends.
TEST_F(Shared, ARunIsRefusedWhileAnotherRunOrAProgramHoldsTheBoard) {
  auto board = SharedBoard::open(name, nullptr);
  ASSERT_NE(board, nullptr);
  const std::string ready = name + ".ready";
  std::remove(ready.c_str());
  const simtest::Process program = simtest::spawn({BOARD_HELPER, name, "in-use", ready});
  ASSERT_TRUE(simtest::wait_for_file(ready, 10000)) << "the program did not take the board";
  std::string holder;
  EXPECT_FALSE(board->claim_for_run(&holder));
  EXPECT_NE(holder.find("pid " + std::to_string(simtest::pid_of(program))), std::string::npos) << holder;
  simtest::kill(program);
  simtest::wait_for(program);
  std::remove(ready.c_str());

  ASSERT_TRUE(board->claim_for_run(&holder)) << "the program has ended: " << holder;
  const std::string me = "pid " + std::to_string(simtest::process_id());
  EXPECT_EQ(simtest::wait_for(simtest::spawn({BOARD_HELPER, name, "claim", me})), 0)
      << "a second run is refused and told whose run it is";
  EXPECT_EQ(simtest::wait_for(simtest::spawn({BOARD_HELPER, name, "count", "1"})), 0)
      << "joining the board without a run still works";
  board.reset();
  EXPECT_EQ(simtest::wait_for(simtest::spawn({BOARD_HELPER, name, "claim"})), 0)
      << "a run that has ended lets the next one in";
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
