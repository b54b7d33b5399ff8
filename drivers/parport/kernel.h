// The seam between the parallel-port driver and the kernel: everything the driver asks
// of the operating system goes through here, so tests can stand a fake in its place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace parport {

class Kernel {
 public:
  virtual ~Kernel() = default;

  // A file descriptor, or -errno.
  virtual int open_rw(const std::string& path) = 0;
  virtual void close(int fd) = 0;
  // 0, or -errno.
  virtual int ioctl(int fd, unsigned long request, void* arg) = 0;

  // Whole contents of a (small) file, or nothing when it cannot be read.
  virtual std::optional<std::string> read_text(const std::string& path) = 0;
  // Names of the entries of a directory; empty when it does not exist.
  virtual std::vector<std::string> list_dir(const std::string& path) = 0;
  // Name of the group whose members may read and write a file; empty when there is
  // none worth joining (no group permission, or the group is root's).
  virtual std::string access_group(const std::string& path) = 0;
  // Whether the process runs as root, to whom raw port I/O is open.
  virtual bool root() = 0;

  // Raw port access. The permission belongs to the calling thread only: the kernel
  // keeps one I/O bitmap per thread. 0, or -errno.
  virtual int ioperm(uint32_t from, uint32_t count) = 0;
  virtual uint8_t inb(uint16_t port) = 0;
  virtual void outb(uint16_t port, uint8_t value) = 0;

  // One line for the user, on standard error.
  virtual void warn(const std::string& line) = 0;
};

// The running system's kernel.
Kernel& linux_kernel();

}  // namespace parport
