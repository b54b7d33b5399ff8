// What only POSIX checks: the segment's owner and mode, and a lock word that whoever
// may write the segment could forge.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
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
  const double bound = simtest::kLockRefusalBound;
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

}  // namespace
