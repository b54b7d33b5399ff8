// A kernel with parallel ports that exist only in memory: ppdev nodes, the proc
// entries that give their base addresses, and a raw I/O space with per-thread
// permissions as the real one has.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kernel.h"

struct FakeNode {
  int open_error = 0;   // errno for open, 0 to open
  int claim_error = 0;  // errno for PPCLAIM
  int ioctl_error = 0;  // errno for every register ioctl
  uint8_t data = 0, status = 0, control = 0;
};

class FakeKernel : public parport::Kernel {
 public:
  // A port the kernel knows: its ppdev node and its proc entry.
  void add_port(int number, uint32_t base);
  // Only the proc entry, as when ppdev is not loaded.
  void add_proc_entry(int number, const std::string& base_addr);
  // A device registered on the port, as lp or a program through ppdev is.
  void add_holder(int number, const std::string& name);

  int open_rw(const std::string& path) override;
  void close(int fd) override;
  int ioctl(int fd, unsigned long request, void* arg) override;
  std::optional<std::string> read_text(const std::string& path) override;
  std::vector<std::string> list_dir(const std::string& path) override;
  std::string access_group(const std::string& path) override;
  bool root() override { return root_user; }
  int ioperm(uint32_t from, uint32_t count) override;
  uint8_t inb(uint16_t port) override;
  void outb(uint16_t port, uint8_t value) override;
  void warn(const std::string& line) override;

  // Kernel calls in order: "open /dev/parport0", "PPWDATA 90 /dev/parport0",
  // "ioperm 0xd010 3", "outb 0xd012 5", "close /dev/parport0".
  std::vector<std::string> calls() const;
  size_t count(const std::string& prefix) const;

  mutable std::recursive_mutex lock;
  std::map<std::string, FakeNode> nodes;
  std::map<std::string, std::string> files;
  std::map<std::string, std::string> groups;  // the group that may open a node
  bool root_user = false;
  int ioperm_error = 0;
  std::map<uint16_t, uint8_t> io;
  std::vector<std::string> warnings;
  int violations = 0;  // raw accesses by a thread without permission

 private:
  bool permitted(uint16_t port) const;
  void log(const std::string& call) { calls_.push_back(call); }

  std::vector<std::string> calls_;
  std::map<int, std::string> fds_;
  int next_fd_ = 3;
  std::map<std::thread::id, std::set<uint16_t>> permissions_;
};
