// The kernel seam over the real system calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "device_group.h"
#include "kernel.h"

#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#define PARPORT_RAW_IO 1
#else
#define PARPORT_RAW_IO 0
#endif

namespace parport {

namespace {

class LinuxKernel final : public Kernel {
 public:
  int open_rw(const std::string& path) override {
    int fd;
    do fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd >= 0 ? fd : -errno;
  }

  void close(int fd) override { ::close(fd); }

  int ioctl(int fd, unsigned long request, void* arg) override {
    int result;
    do result = ::ioctl(fd, request, arg);
    while (result < 0 && errno == EINTR);
    return result >= 0 ? 0 : -errno;
  }

  std::optional<std::string> read_text(const std::string& path) override {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::vector<std::string> list_dir(const std::string& path) override {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
  }

  std::string access_group(const std::string& path) override { return port_driver::access_group(path); }

  bool root() override { return ::geteuid() == 0; }

#if PARPORT_RAW_IO
  int ioperm(uint32_t from, uint32_t count) override {
    return ::ioperm(from, count, 1) == 0 ? 0 : -errno;
  }
  uint8_t inb(uint16_t port) override { return ::inb(port); }
  void outb(uint16_t port, uint8_t value) override { ::outb(value, port); }
#else
  int ioperm(uint32_t, uint32_t) override { return -ENOSYS; }
  uint8_t inb(uint16_t) override { return 0xFF; }
  void outb(uint16_t, uint8_t) override {}
#endif

  void warn(const std::string& line) override {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
  }
};

}  // namespace

Kernel& linux_kernel() {
  static Kernel* kernel = new LinuxKernel;  // outlives every caller's exit handler
  return *kernel;
}

}  // namespace parport
