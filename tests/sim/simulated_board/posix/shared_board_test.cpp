// What only POSIX checks: the segment's owner and mode, and what whoever may write
// the segment could do to it.
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
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "shared_board.h"
#include "simulated_board/shared_fixture.h"

namespace {

using sim::SharedBoard;
using simtest::seconds_since;
using simtest::Shared;

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

// Whoever may write the segment may write anything into it; the lock lives in the
// kernel, so nothing there can wedge, abort or hang a program.
class Forged : public Shared {
 protected:
  void write_at(std::size_t offset, uint32_t word) {
    const int fd = shm_open(sim::segment_path(name).c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, &word, sizeof word, static_cast<off_t>(offset)), 4);
    close(fd);
  }
  const double bound = simtest::kLockRefusalBound;
};

TEST_F(Forged, WordsThatOnceBrokeTheLockLeaveTheBoardWorking) {
  // The words that drove the C library's mutex into its assertions, at attach and
  // while attached.
  auto board = SharedBoard::open(name, nullptr);
  ASSERT_NE(board, nullptr);
  for (const auto& [at32, at16] : {std::pair<uint32_t, uint32_t>{0xb0, 0x3ffffff0}, {0xc0, 0}, {~0u, ~0u}}) {
    write_at(32, at32);
    if (at16) write_at(16, at16);
    std::string error;
    auto other = SharedBoard::open(name, &error);
    if (other) {
      EXPECT_NO_THROW(other->with([](sim::BoardState& s) { return s.outputs; }));
    } else {
      EXPECT_NE(error.find("refusing"), std::string::npos) << error;
    }
    try {
      board->with([](sim::BoardState& s) { sim::board_advance(s, sim::monotonic_ns()); });
    } catch (const sim::BoardLost& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

TEST_F(Forged, LockThatNoProcessLetsGoIsRefusedInBoundedTime) {
  auto board = SharedBoard::open(name, nullptr);
  ASSERT_NE(board, nullptr);
  const std::string ready = ::testing::TempDir() + "held-" + name;
  std::remove(ready.c_str());
  const simtest::Process holder = simtest::spawn({BOARD_HELPER, name, "hold", ready});
  ASSERT_TRUE(simtest::wait_for_file(ready, 5000));
  ::kill(simtest::pid_of(holder), SIGSTOP);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_THROW(board->with([](sim::BoardState& s) { return s.outputs; }), sim::BoardLost);
  EXPECT_LT(seconds_since(t0), bound);
  t0 = std::chrono::steady_clock::now();
  EXPECT_NE(refusal().find("lock"), std::string::npos);
  EXPECT_LT(seconds_since(t0), bound);
  simtest::kill(holder);
  ::kill(simtest::pid_of(holder), SIGCONT);
  simtest::wait_for(holder);
  EXPECT_NO_THROW(board->with([](sim::BoardState& s) { return s.outputs; })) << "the lock goes with its holder";
  std::remove(ready.c_str());
}

TEST_F(Forged, SegmentCutShortOrEmptiedInUseIsBoardLostNotSIGBUS) {
  for (const bool regrow : {false, true}) {
    auto board = SharedBoard::open(name, nullptr);
    ASSERT_NE(board, nullptr);
    const int fd = shm_open(sim::segment_path(name).c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 0), 0);
    if (regrow) {
      ASSERT_EQ(ftruncate(fd, static_cast<off_t>(facts.size)), 0);
    }
    close(fd);
    try {
      board->with([](sim::BoardState& s) { return s.outputs; });
      ADD_FAILURE() << "no BoardLost";
    } catch (const sim::BoardLost& e) {
      EXPECT_NE(std::string(e.what()).find("went away"), std::string::npos) << e.what();
    }
    EXPECT_THROW(board->with([](sim::BoardState& s) { return s.outputs; }), sim::BoardLost);
    board.reset();
    SharedBoard::remove(name);
  }
}

}  // namespace
