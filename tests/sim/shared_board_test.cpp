// One board seen by several mappings and processes; foreign and spoilt segments refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

// A segment of this user that another may write, or one another user planted.
class Planted : public Shared {
 protected:
  void chmod_segment(mode_t mode) {
    const int fd = shm_open(sim::segment_path(name).c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fchmod(fd, mode), 0);
    close(fd);
  }
};

TEST_F(Planted, SegmentThatOthersMayWriteIsRefused) {
  for (const mode_t mode : {0620, 0602, 0666}) {
    ASSERT_NE(SharedBoard::open(name, nullptr), nullptr);
    chmod_segment(mode);
    const std::string error = refusal();
    EXPECT_NE(error.find("may be written by other users"), std::string::npos) << error;
    EXPECT_NE(error.find("/dev/shm/" + name), std::string::npos) << error;
    const passwd* me = getpwuid(geteuid());
    ASSERT_NE(me, nullptr);
    EXPECT_NE(error.find(std::string("owner ") + me->pw_name), std::string::npos) << error;
    SharedBoard::remove(name);
  }
  ASSERT_NE(SharedBoard::open(name, nullptr), nullptr);
  chmod_segment(0640);
  EXPECT_NE(SharedBoard::open(name, nullptr), nullptr) << "others may read it: that gives them nothing to drive";
}

TEST_F(Planted, SegmentOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to create a second user to plant the segment";
  const std::string user = "plsim" + std::to_string(getpid());
  ASSERT_EQ(std::system(("useradd --system --no-create-home --shell /usr/sbin/nologin " + user).c_str()), 0);
  struct Removal {
    std::string user;
    ~Removal() { std::system(("userdel " + user).c_str()); }
  } removal{user};
  const passwd* pw = getpwnam(user.c_str());
  ASSERT_NE(pw, nullptr);
  const uid_t uid = pw->pw_uid;
  const gid_t gid = pw->pw_gid;
  // The planter makes a valid board that anybody may write, before its victim starts.
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(gid) != 0 || setuid(uid) != 0) _exit(3);
    auto board = SharedBoard::open(name, nullptr);
    if (!board) _exit(4);
    const int fd = shm_open(sim::segment_path(name).c_str(), O_RDWR, 0);
    _exit(fd >= 0 && fchmod(fd, 0666) == 0 ? 0 : 5);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string error = refusal();
  EXPECT_NE(error.find("belongs to user " + user), std::string::npos) << error;
  EXPECT_NE(error.find("/dev/shm/" + name), std::string::npos) << error;
}

// The lock word of a board, forged by whoever may write the segment.
class ForgedLock : public Shared {
 protected:
  void forge_lock(const std::vector<unsigned char>& bytes) {
    const int fd = shm_open(sim::segment_path(name).c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    ASSERT_LE(bytes.size(), facts.lock_size);
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), facts.lock_offset), static_cast<ssize_t>(bytes.size()));
    close(fd);
  }
  // Held by a thread that cannot exist (above the largest process id the system allows).
  void forge_held_by_nobody() {
    const uint32_t nobody = 0x3FFFFFFE;
    std::vector<unsigned char> word(sizeof nobody);
    std::memcpy(word.data(), &nobody, sizeof nobody);
    forge_lock(word);
  }
  static double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  const double bound = sim::kLockWaitMs / 1000.0 + 1.5;
};

TEST_F(ForgedLock, HeldByNoProcessIsRefusedInBoundedTime) {
  ASSERT_NE(SharedBoard::open(name, nullptr), nullptr);
  forge_held_by_nobody();
  const auto t0 = std::chrono::steady_clock::now();
  const std::string error = refusal();
  EXPECT_LT(seconds_since(t0), bound);
  EXPECT_NE(error.find("lock"), std::string::npos) << error;
  EXPECT_NE(error.find("/dev/shm/" + name), std::string::npos) << error;
}

TEST_F(ForgedLock, ImpossibleStateIsRefused) {
  ASSERT_NE(SharedBoard::open(name, nullptr), nullptr);
  forge_lock(std::vector<unsigned char>(facts.lock_size, 0xFF));
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_NE(refusal().find("lock"), std::string::npos);
  EXPECT_LT(seconds_since(t0), bound);
}

TEST_F(ForgedLock, ForgedWhileAttachedEndsTheWaitWithAnError) {
  auto board = SharedBoard::open(name, nullptr);
  ASSERT_NE(board, nullptr);
  forge_held_by_nobody();
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_THROW(board->with([](sim::BoardState& s) { return s.outputs; }), sim::BoardLost);
  EXPECT_LT(seconds_since(t0), bound);
}

// Runs f in a child process that has the board open; gives its exit code.
template <typename F>
int in_child(const std::string& name, F f) {
  const pid_t pid = fork();
  if (pid == 0) {
    auto board = SharedBoard::open(name, nullptr);
    _exit(board ? f(*board) : 99);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Shared, ARunIsRefusedWhileAnotherRunOrAProgramHoldsTheBoard) {
  auto board = SharedBoard::open(name, nullptr);
  ASSERT_NE(board, nullptr);
  // A program on the board, still running.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t program = fork();
  if (program == 0) {
    auto mine = SharedBoard::open(name, nullptr);
    if (!mine) _exit(1);
    mine->mark_in_use();
    if (write(ready[1], "x", 1) != 1) _exit(2);
    pause();
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  std::string holder;
  EXPECT_FALSE(board->claim_for_run(&holder));
  EXPECT_NE(holder.find("pid " + std::to_string(program)), std::string::npos) << holder;
  kill(program, SIGKILL);
  waitpid(program, nullptr, 0);
  close(ready[0]);
  close(ready[1]);

  ASSERT_TRUE(board->claim_for_run(&holder)) << "the program has ended: " << holder;
  const std::string me = "pid " + std::to_string(getpid());
  EXPECT_EQ(in_child(name, [&](SharedBoard& b) {
              std::string h;
              return !b.claim_for_run(&h) && h.find(me) != std::string::npos ? 0 : 1;
            }),
            0)
      << "a second run is refused and told whose run it is";
  EXPECT_EQ(in_child(name, [](SharedBoard& b) { return b.with([](sim::BoardState& s) { return s.outputs; }); }), 0)
      << "joining the board without a run still works";
  board.reset();
  EXPECT_EQ(in_child(name, [](SharedBoard& b) {
              std::string h;
              return b.claim_for_run(&h) ? 0 : 1;
            }),
            0)
      << "a run that has ended lets the next one in";
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
