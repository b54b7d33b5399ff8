// One board seen by several mappings and processes; foreign and spoilt segments refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "shared_board.h"

namespace {

using sim::SharedBoard;

std::string unique_name(const char* what) {
  return std::string("placasim-test-") + what + "-" + std::to_string(getpid());
}

class Shared : public ::testing::Test {
 protected:
  void TearDown() override { SharedBoard::remove(name); }
  // Writes a segment by hand, as another program might have left it.
  void forge(std::size_t size, uint64_t magic, uint32_t version, uint32_t recorded_size) {
    const int fd = shm_open(sim::segment_path(name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    if (size >= sim::segment_facts().size) {
      std::vector<unsigned char> bytes(size, 0);
      const sim::SegmentFacts f = sim::segment_facts();
      std::memcpy(&bytes[f.magic_offset], &magic, sizeof magic);
      std::memcpy(&bytes[f.version_offset], &version, sizeof version);
      std::memcpy(&bytes[f.size_offset], &recorded_size, sizeof recorded_size);
      double position = 2.0;
      std::memcpy(&bytes[f.board_offset + offsetof(sim::BoardState, position)], &position, sizeof position);
      ASSERT_EQ(write(fd, bytes.data(), size), static_cast<ssize_t>(size));
    }
    close(fd);
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
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    const pid_t pid = fork();
    if (pid == 0) {
      auto mine = SharedBoard::open(name, nullptr);
      if (!mine) _exit(3);
      // Increments without the lock would lose some of these.
      for (int i = 0; i < kRounds; ++i)
        mine->with([](sim::BoardState& s) { s.changes_total += 1; });
      _exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(board->with([](sim::BoardState& s) { return s.changes_total; }),
            static_cast<uint64_t>(kChildren) * kRounds);
}

TEST_F(Shared, LockHeldByAKilledProcessIsRecovered) {
  std::string error;
  auto board = SharedBoard::open(name, &error);
  ASSERT_NE(board, nullptr) << error;
  const pid_t pid = fork();
  if (pid == 0) {
    auto mine = SharedBoard::open(name, nullptr);
    if (mine) mine->with([](sim::BoardState&) { _exit(0); });  // dies holding the lock
    _exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  board->with([](sim::BoardState& s) { s.outputs = 9; });
  EXPECT_EQ(board->with([](sim::BoardState& s) { return s.outputs; }), 9);
}

TEST_F(Shared, ForeignSegmentOfTheRightSizeIsRefused) {
  forge(facts.size, 0x1122334455667788ull, facts.version, static_cast<uint32_t>(facts.size));
  const std::string error = refusal();
  EXPECT_NE(error.find("not a placasim board"), std::string::npos) << error;
  EXPECT_NE(error.find("/dev/shm/" + name), std::string::npos) << "says which segment: " << error;
}

TEST_F(Shared, SegmentOfTheWrongSizeIsRefused) {
  forge(facts.size + 8, facts.magic, facts.version, static_cast<uint32_t>(facts.size + 8));
  EXPECT_NE(refusal().find("wrong size"), std::string::npos);
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
  const int fd = shm_open(sim::segment_path(name).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  const double nan = std::strtod("nan", nullptr);
  ASSERT_EQ(pwrite(fd, &nan, sizeof nan, facts.board_offset + offsetof(sim::BoardState, position)),
            static_cast<ssize_t>(sizeof nan));
  close(fd);
  EXPECT_NE(refusal().find("corrupt"), std::string::npos);
}

TEST(BoardName, ComesFromTheEnvironmentOrIsOnePerUser) {
  setenv(sim::kBoardEnv, "lab-bench_2", 1);
  EXPECT_EQ(sim::board_name_from_env(), "lab-bench_2");
  unsetenv(sim::kBoardEnv);
  EXPECT_EQ(sim::board_name_from_env(), "placasim-" + std::to_string(getuid()));
  setenv(sim::kBoardEnv, "", 1);
  EXPECT_EQ(sim::board_name_from_env(), "placasim-" + std::to_string(getuid()));
  unsetenv(sim::kBoardEnv);
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
