// The termios port on a pseudo-terminal, a fake adaptor serving its other end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "adaptor.h"
#include "adaptor_model.h"

namespace {

constexpr int64_t kData = 888, kStatus = 889;

class Pty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    path_ = ttyname(slave_);
    // A serial port's default, which a fresh pty lacks: the driver must clear it.
    termios t{};
    ASSERT_EQ(tcgetattr(slave_, &t), 0);
    t.c_cflag |= HUPCL;
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &t), 0);
    setenv("PLACAIO_SERIAL", path_.c_str(), 1);
    server_ = std::thread([this] { serve(); });
  }
  void TearDown() override {
    stop_ = true;
    server_.join();
    if (master_ >= 0) close(master_);
    close(slave_);
    unsetenv("PLACAIO_SERIAL");
  }
  void serve() {
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
      uint8_t in[256];
      const ssize_t n = read(master_, in, sizeof in);
      if (n <= 0) continue;
      std::vector<uint8_t> out;
      for (ssize_t i = 0; i < n; ++i) model.take(in[i], out);
      if (!out.empty()) {
        ASSERT_EQ(write(master_, out.data(), out.size()), static_cast<ssize_t>(out.size()));
      }
    }
  }

  AdaptorModel model;  // touched by the server thread only while the driver waits
  int master_ = -1, slave_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread server_;
};

TEST_F(Pty, TheLinkIsRawAtTheAdaptorsSpeedAndKeepsDtrUpOnClose) {
  serial::Adaptor adaptor(serial::system_ports());
  ASSERT_TRUE(adaptor.installed());
  termios t{};
  ASSERT_EQ(tcgetattr(slave_, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B1000000));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B1000000));
  EXPECT_EQ(t.c_cflag & HUPCL, 0u);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IXON | IXOFF | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

TEST_F(Pty, ASilentPortGetsItsSettingsBackButKeepsDtrUp) {
  stop_ = true;  // nobody answers
  server_.join();
  server_ = std::thread([] {});
  termios before{};
  ASSERT_EQ(tcgetattr(slave_, &before), 0);
  serial::Timing quick;
  quick.boot_window = std::chrono::milliseconds(200);
  serial::Adaptor adaptor(serial::system_ports(), quick);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(adaptor.installed());
  EXPECT_NE(testing::internal::GetCapturedStderr().find(path_ + " did not answer"), std::string::npos);
  termios after{};
  ASSERT_EQ(tcgetattr(slave_, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
  EXPECT_EQ(after.c_cflag & HUPCL, 0u);  // closing it again must not drop DTR
}

TEST_F(Pty, BytesATerminalWouldChangeGoBothWaysUnchanged) {
  serial::Adaptor adaptor(serial::system_ports());
  for (int value : {0x0A, 0x0D, 0x03, 0x04, 0x11, 0x13, 0x1A, 0x7F, 0xFF, 0x00}) {
    adaptor.write(kData, static_cast<uint8_t>(value));
    EXPECT_EQ(adaptor.read(kData), value);
  }
  model.status = 0x88;
  EXPECT_EQ(adaptor.read(kStatus), 0x88);
}

TEST_F(Pty, APortThatVanishesMidRunReadsAsIdleAtOnce) {
  serial::Adaptor adaptor(serial::system_ports());
  ASSERT_TRUE(adaptor.installed());
  testing::internal::CaptureStderr();
  stop_ = true;
  server_.join();
  close(master_);  // the slave now fails every read and write, as an unplugged port
  master_ = -1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(adaptor.read(kStatus), serial::kIdleStatus);
  adaptor.write(kData, 1);
  EXPECT_EQ(adaptor.read(kStatus), serial::kIdleStatus);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("io (serial adaptor): lost the adaptor on " + path_), std::string::npos) << said;
  EXPECT_EQ(said.find('\n'), said.size() - 1) << said;  // one line
  server_ = std::thread([] {});
}

TEST_F(Pty, APathThatIsNoSerialPortIsRefused) {
  const std::string file = testing::TempDir() + "serial_not_a_tty";
  close(open(file.c_str(), O_CREAT | O_WRONLY, 0600));
  setenv("PLACAIO_SERIAL", file.c_str(), 1);
  serial::Adaptor adaptor(serial::system_ports());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(adaptor.installed());
  EXPECT_NE(testing::internal::GetCapturedStderr().find(file + " is not a serial port"), std::string::npos);
  unlink(file.c_str());
}

// A user outside the port's group is told which group to join.
TEST_F(Pty, PermissionRefusedNamesTheGroupToJoin) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the port to a group and drop to another user";
  const group* dialout = getgrnam("dialout");
  if (dialout == nullptr) GTEST_SKIP() << "no group dialout";
  ASSERT_EQ(chown(path_.c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(path_.c_str(), 0660), 0);
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipe_fds[1], 2);
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    serial::Adaptor adaptor(serial::system_ports());
    _exit(adaptor.installed() ? 1 : 0);
  }
  close(pipe_fds[1]);
  std::string said;
  char buffer[512];
  ssize_t n;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) said.append(buffer, static_cast<size_t>(n));
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(said.find("permission denied on " + path_ + ": the user must be a member of group \"dialout\""),
            std::string::npos)
      << said;
}

}  // namespace
