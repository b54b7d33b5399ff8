// The system's serial ports through termios.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "device_group.h"
#include "firmware/placaio_adaptor/protocol.h"
#include "link.h"

static_assert(ADAPTOR_BAUD == 1000000UL, "the termios speed below is the adaptor's");

namespace serial {

namespace {

std::string error_text(int error) { return std::error_code(error, std::generic_category()).message(); }

int poll_for(int fd, short events, milliseconds timeout) {
  const Clock::time_point until = Clock::now() + timeout;
  for (;;) {
    pollfd p{fd, events, 0};
    const auto wait = std::chrono::ceil<milliseconds>(until - Clock::now());
    const int result = ::poll(&p, 1, static_cast<int>(std::max<milliseconds::rep>(0, wait.count())));
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return result;
    if (p.revents & (POLLERR | POLLNVAL)) return -1;
    if (p.revents & events) return 1;
    return -1;  // POLLHUP alone: the device is gone
  }
}

class PosixLink final : public Link {
 public:
  PosixLink(int fd, const termios& original) : fd_(fd), original_(original) {}
  ~PosixLink() override { ::close(fd_); }

  bool send(const uint8_t* data, size_t size, milliseconds timeout) override {
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n > 0) {
        data += n;
        size -= static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return failed(errno);
      // The device takes no more for now: wait for room, not for ever.
      const int ready = poll_for(fd_, POLLOUT, timeout);
      if (ready == 0) return failed_with("its output stayed full for " + std::to_string(timeout.count()) + " ms");
      if (ready < 0) return failed_with("the device is gone");
    }
    return true;
  }

  long receive(uint8_t* data, size_t size, milliseconds timeout) override {
    for (;;) {
      const ssize_t n = ::read(fd_, data, size);
      if (n > 0) return n;
      if (n == 0) return gone();  // hung up
      if (errno == EINTR) continue;
      if (errno != EAGAIN) {
        failed(errno);
        return -1;
      }
      const int ready = poll_for(fd_, POLLIN, timeout);
      if (ready == 0) return 0;
      if (ready < 0) return gone();
      timeout = milliseconds(0);  // the byte is there now
    }
  }

  void drop_input() override { ::tcflush(fd_, TCIFLUSH); }
  void restore(bool keep_dtr) override {
    termios t = original_;
    if (keep_dtr) t.c_cflag &= ~HUPCL;
    ::tcsetattr(fd_, TCSANOW, &t);
  }
  std::string error() const override { return error_; }

 private:
  long gone() {
    failed_with("the device is gone");
    return -1;
  }
  bool failed(int error) { return failed_with(error_text(error)); }
  bool failed_with(const std::string& text) {
    error_ = text;
    return false;
  }

  const int fd_;
  const termios original_;
  std::string error_;
};

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// ttyACM2 before ttyACM10.
bool port_order(const std::string& a, const std::string& b) {
  const size_t da = a.find_first_of("0123456789"), db = b.find_first_of("0123456789");
  const std::string sa = a.substr(0, da), sb = b.substr(0, db);
  if (sa != sb) return sa < sb;
  const std::string na = da == std::string::npos ? "" : a.substr(da);
  const std::string nb = db == std::string::npos ? "" : b.substr(db);
  return na.size() != nb.size() ? na.size() < nb.size() : na < nb;
}

class PosixPorts final : public System {
 public:
  Opened open(const std::string& path) override {
    int fd;
    // Non-blocking: the open does not wait for a carrier, nor a write for ever.
    do fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return {nullptr, open_failure(path, errno), errno == ENOENT || errno == ENODEV || errno == ENXIO};
    termios original{};
    if (::tcgetattr(fd, &original) != 0) {
      const int error = errno;
      ::close(fd);
      return {nullptr, path + " is not a serial port (" + error_text(error) + ")", false};
    }
    termios raw = original;
    ::cfmakeraw(&raw);
    raw.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    // HUPCL cleared: DTR stays up after the close, so the next program's open makes
    // no new edge on it and does not reset a Uno or a Nano.
    raw.c_cflag |= CS8 | CLOCAL | CREAD;
    raw.c_iflag &= ~(IXON | IXOFF | IXANY);
    // VMIN 1: an empty port reads as EAGAIN, told apart from a hung-up one (0).
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::cfsetispeed(&raw, B1000000);
    ::cfsetospeed(&raw, B1000000);
    if (::tcsetattr(fd, TCSANOW, &raw) != 0) {
      const int error = errno;
      ::close(fd);
      return {nullptr, "cannot set up " + path + " (" + error_text(error) + ")", false};
    }
    // One program at a time: two would mix their requests on the wire.
    ::ioctl(fd, TIOCEXCL);
    ::tcflush(fd, TCIOFLUSH);
    return {std::make_unique<PosixLink>(fd, original), {}, false};
  }

  std::optional<std::string> configured() override { return port_named_by_user(); }

  std::vector<std::string> candidates() override {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir("/dev")) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (starts_with(name, "ttyACM") || starts_with(name, "ttyUSB")) names.push_back(name);
      }
      ::closedir(dir);
    }
    std::sort(names.begin(), names.end(), port_order);
    for (std::string& name : names) name = "/dev/" + name;
    return names;
  }

  std::string candidate_pattern() override { return "/dev/ttyACM* or /dev/ttyUSB*"; }
  Clock::time_point now() override { return Clock::now(); }

  void warn(const std::string& line) override { warn_on_stderr(line); }

 private:
  static std::string open_failure(const std::string& path, int error) {
    switch (error) {
      case EACCES:
      case EPERM: {
        const std::string group = port_driver::access_group(path);
        if (group.empty()) return "permission denied on " + path;
        return "permission denied on " + path + ": the user must be a member of group \"" + group +
               "\" (sudo adduser $USER " + group + ", then log in again)";
      }
      case EBUSY:
        return path + " is in use by another program";
      case ENOENT:
        return path + " does not exist";
      default:
        return "cannot open " + path + " (" + error_text(error) + ")";
    }
  }
};

}  // namespace

System& system_ports() {
  static System* ports = new PosixPorts;  // outlives every caller's exit handler
  return *ports;
}

}  // namespace serial
