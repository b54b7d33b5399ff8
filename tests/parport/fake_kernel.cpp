#include "fake_kernel.h"

#include <sys/ioctl.h>
#include <linux/ppdev.h>  // after sys/ioctl.h, whose _IO macros it uses

#include <cerrno>
#include <cstdio>

namespace {

constexpr const char* kProc = "/proc/sys/dev/parport/";

std::string hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", v);
  return text;
}

}  // namespace

void FakeKernel::add_port(int number, uint32_t base) {
  nodes["/dev/parport" + std::to_string(number)] = FakeNode{};
  add_proc_entry(number, std::to_string(base) + "\t" + std::to_string(base + 0x400) + "\n");
}

void FakeKernel::add_proc_entry(int number, const std::string& base_addr) {
  files[kProc + ("parport" + std::to_string(number)) + "/base-addr"] = base_addr;
}

void FakeKernel::add_holder(int number, const std::string& name) {
  const std::string devices = kProc + ("parport" + std::to_string(number)) + "/devices/";
  files[devices + "active"] = "none\n";  // registered, not claiming at the moment
  files[devices + name + "/timeslice"] = "200\n";
}

int FakeKernel::open_rw(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  log("open " + path);
  const auto node = nodes.find(path);
  if (node == nodes.end()) return -ENOENT;
  if (node->second.open_error != 0) return -node->second.open_error;
  fds_[next_fd_] = path;
  return next_fd_++;
}

void FakeKernel::close(int fd) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  log("close " + fds_.at(fd));
  fds_.erase(fd);
}

int FakeKernel::ioctl(int fd, unsigned long request, void* arg) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  const std::string& path = fds_.at(fd);
  FakeNode& node = nodes.at(path);
  auto* byte = static_cast<unsigned char*>(arg);
  struct Register {
    unsigned long request;
    const char* name;
    uint8_t* value;
    bool write;
  };
  const Register registers[] = {
      {PPWDATA, "PPWDATA", &node.data, true},       {PPRDATA, "PPRDATA", &node.data, false},
      {PPRSTATUS, "PPRSTATUS", &node.status, false}, {PPWCONTROL, "PPWCONTROL", &node.control, true},
      {PPRCONTROL, "PPRCONTROL", &node.control, false},
  };
  if (request == PPEXCL) {
    log("PPEXCL " + path);
    return 0;
  }
  if (request == PPCLAIM) {
    log("PPCLAIM " + path);
    return -node.claim_error;
  }
  for (const Register& r : registers) {
    if (r.request != request) continue;
    log(std::string(r.name) + (r.write ? " " + std::to_string(*byte) : "") + " " + path);
    if (node.ioctl_error != 0) return -node.ioctl_error;
    if (r.write)
      *r.value = *byte;
    else
      *byte = *r.value;
    return 0;
  }
  log("unknown ioctl " + path);
  return -ENOTTY;
}

std::optional<std::string> FakeKernel::read_text(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  const auto file = files.find(path);
  if (file == files.end()) return std::nullopt;
  return file->second;
}

std::vector<std::string> FakeKernel::list_dir(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  const std::string prefix = path + "/";
  std::set<std::string> names;
  for (const auto& [file, text] : files)
    if (file.compare(0, prefix.size(), prefix) == 0)
      names.insert(file.substr(prefix.size(), file.find('/', prefix.size()) - prefix.size()));
  // Reverse order: the driver must not rely on the kernel listing ports in order.
  return {names.rbegin(), names.rend()};
}

std::string FakeKernel::access_group(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  const auto group = groups.find(path);
  return group == groups.end() ? std::string() : group->second;
}

int FakeKernel::ioperm(uint32_t from, uint32_t count) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  log("ioperm " + hex(from) + " " + std::to_string(count));
  if (ioperm_error != 0) return -ioperm_error;
  for (uint32_t port = from; port < from + count; ++port)
    permissions_[std::this_thread::get_id()].insert(static_cast<uint16_t>(port));
  return 0;
}

bool FakeKernel::permitted(uint16_t port) const {
  const auto thread = permissions_.find(std::this_thread::get_id());
  return thread != permissions_.end() && thread->second.count(port) != 0;
}

uint8_t FakeKernel::inb(uint16_t port) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  log("inb " + hex(port));
  // The real instruction faults; the fake counts it instead.
  if (!permitted(port)) ++violations;
  return io[port];
}

void FakeKernel::outb(uint16_t port, uint8_t value) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  log("outb " + hex(port) + " " + std::to_string(value));
  if (!permitted(port)) ++violations;
  io[port] = value;
}

void FakeKernel::warn(const std::string& line) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  warnings.push_back(line);
}

std::vector<std::string> FakeKernel::calls() const {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return calls_;
}

size_t FakeKernel::count(const std::string& prefix) const {
  std::lock_guard<std::recursive_mutex> guard(lock);
  size_t n = 0;
  for (const std::string& call : calls_)
    if (call.compare(0, prefix.size(), prefix) == 0) ++n;
  return n;
}
