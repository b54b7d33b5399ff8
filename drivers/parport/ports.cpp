#include "ports.h"

#include <sys/ioctl.h>
#include <linux/ppdev.h>  // after sys/ioctl.h, whose _IO macros it uses

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <system_error>

namespace parport {

namespace {

std::atomic<uint64_t> next_serial{1};

// Raw port permission granted to the calling thread, by instance and base address.
struct Grant {
  uint64_t serial;
  uint16_t base;
};
thread_local std::vector<Grant> thread_grants;

std::string error_text(int error) { return std::error_code(error, std::generic_category()).message(); }

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

// "parport<N>" with nothing else around it.
std::optional<int> port_number(const std::string& name) {
  const std::string prefix = "parport";
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  int number = 0;
  const char* first = name.data() + prefix.size();
  const char* last = name.data() + name.size();
  const auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || end != last || number < 0) return std::nullopt;
  return number;
}

// The first number of a base-addr file ("888\t1912\n": the base, then the ECP base);
// 0 when there is none that could start a block of three registers.
uint16_t parse_base(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\n");
  if (start == std::string::npos) return 0;
  uint32_t base = 0;
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, base);
  if (error != std::errc() || end == first) return 0;
  if (end != last && *end != ' ' && *end != '\t' && *end != '\n') return 0;
  if (base == 0 || base > 0xFFFFu - (kRegisterCount - 1)) return 0;
  return static_cast<uint16_t>(base);
}

std::string open_failure(Kernel& kernel, const std::string& path, int error) {
  switch (error) {
    case ENOENT:
      return path + " does not exist (is the ppdev module loaded?)";
    case EACCES:
    case EPERM: {
      const std::string group = kernel.access_group(path);
      if (group.empty())
        return "permission denied on " + path + ", which only its owner may open: a udev rule giving it " +
               "to group lp with mode 0660 (Debian's does), or \"sudo chgrp lp " + path +
               " && sudo chmod 660 " + path + "\", then membership of lp lets a user in";
      return "permission denied on " + path + ": the user must be a member of group \"" + group +
             "\", which owns it (log in again after joining)";
    }
    case ENODEV:
    case ENXIO:
      return path + " has no parallel port behind it";
    default:
      return "cannot open " + path + " (" + error_text(error) + ")";
  }
}

std::string raw_failure(std::optional<uint16_t> base, int error, bool root) {
  if (!base) return "its I/O address is unknown, so raw port I/O is not possible";
  const std::string where = "raw port I/O at " + hex(*base);
  if (!root) return where + " needs root (without root, ppdev and membership of group lp are the way)";
  switch (error) {
    case EPERM:
    case EACCES:
      return where + " is not permitted";
    case ENOSYS:
      return where + " is not available on this machine (its kernel has no ioperm)";
    default:
      return where + " failed (" + error_text(error) + ")";
  }
}

// Who holds a port, from the devices registered on it; programs register as "ppdevN".
std::string held_by(const std::vector<std::string>& holders) {
  std::string drivers;
  for (const std::string& name : holders)
    if (name.rfind("ppdev", 0) != 0) drivers += (drivers.empty() ? "" : ", ") + name;
  if (!drivers.empty())
    return "the kernel driver " + drivers +
           " holds it (the printer driver lp lets go with \"sudo modprobe -r lp\")";
  if (!holders.empty()) return "another program holds it";
  return "another program or a kernel driver such as lp holds it";
}

constexpr const char* kIdleNote = "; its registers now read as an idle port";

}  // namespace

std::string device_path(int number) { return kDevicePrefix + std::to_string(number); }

ParallelPorts::ParallelPorts(Kernel& kernel) : kernel_(kernel), serial_(next_serial++) {}

void ParallelPorts::scan_proc() {
  if (scanned_) return;
  scanned_ = true;
  for (const std::string& name : kernel_.list_dir(kProcDir)) {
    const std::optional<int> number = port_number(name);
    if (!number) continue;
    const std::optional<std::string> text = kernel_.read_text(std::string(kProcDir) + "/" + name + "/base-addr");
    bases_.emplace_back(*number, text ? parse_base(*text) : 0);
  }
  // Directory order is arbitrary; where two ports claim one block the lower number wins.
  std::sort(bases_.begin(), bases_.end());
  // The kernel may number another port first (0x278 as parport0, 0x378 as parport1).
  const auto standard = std::find_if(bases_.begin(), bases_.end(),
                                     [](const auto& entry) { return entry.second == kFirstPortBase; });
  if (standard != bases_.end()) first_ = standard->first;
}

// The devices registered on a port: kernel drivers such as lp, and programs using ppdev.
std::vector<std::string> ParallelPorts::holders(int number) {
  const std::string devices = std::string(kProcDir) + "/parport" + std::to_string(number) + "/devices";
  std::vector<std::string> names;
  for (const std::string& name : kernel_.list_dir(devices))
    if (name != "active" && name != "." && name != "..") names.push_back(name);
  return names;
}

std::optional<ParallelPorts::Register> ParallelPorts::map(int64_t address) {
  scan_proc();
  if (address >= kFirstPortBase && address < kFirstPortBase + kRegisterCount)
    return Register{first_, static_cast<int32_t>(address - kFirstPortBase)};
  for (const auto& [number, base] : bases_)
    if (base != 0 && address >= base && address < base + kRegisterCount)
      return Register{number, static_cast<int32_t>(address - base)};
  return std::nullopt;
}

ParallelPorts::Device& ParallelPorts::device(int number) {
  Device& d = devices_[number];
  if (d.access == Access::kUntried) open(number, d);
  return d;
}

void ParallelPorts::open(int number, Device& d) {
  const std::string path = device_path(number);
  const int fd = kernel_.open_rw(path);
  if (fd >= 0) {
    int error = kernel_.ioctl(fd, PPEXCL, nullptr);
    if (error == 0) error = kernel_.ioctl(fd, PPCLAIM, nullptr);
    if (error == 0) {
      d.access = Access::kPpdev;
      d.fd = fd;
      return;
    }
    // Someone else holds the port: raw I/O would fight them over it.
    kernel_.close(fd);
    d.access = Access::kNone;
    kernel_.warn("io: cannot claim " + path + " (" + error_text(-error) + "): " + held_by(holders(number)) +
                 kIdleNote);
    return;
  }
  if (-fd == EBUSY) {
    d.access = Access::kNone;
    kernel_.warn("io: " + path + " is busy: " + held_by(holders(number)) + kIdleNote);
    return;
  }

  scan_proc();
  const auto known = std::find_if(bases_.begin(), bases_.end(),
                                  [number](const auto& entry) { return entry.first == number; });
  if (known != bases_.end()) {
    if (known->second != 0) d.base = known->second;
  } else if (number == 0) {
    d.base = kFirstPortBase;  // no kernel port driver at all: the standard address
  }
  // Whoever is registered on the port (lp, as ppdev would have refused) is never overridden.
  const std::vector<std::string> registered = holders(number);
  int raw_error = 0;
  if (d.base && registered.empty()) {
    raw_error = -kernel_.ioperm(*d.base, kRegisterCount);
    if (raw_error == 0) {
      thread_grants.push_back({serial_, *d.base});
      d.access = Access::kRaw;
      return;
    }
  }
  d.access = Access::kNone;
  kernel_.warn("io: no access to the parallel port " + path + ": " + open_failure(kernel_, path, -fd) + "; " +
               (registered.empty() ? raw_failure(d.base, raw_error, kernel_.root())
                                   : "raw port I/O is not used: " + held_by(registered)) +
               kIdleNote);
}

bool ParallelPorts::raw_permitted(uint16_t base) {
  for (const Grant& g : thread_grants)
    if (g.serial == serial_ && g.base == base) return true;
  // A thread that did not open the port has no permission of its own yet.
  if (kernel_.ioperm(base, kRegisterCount) != 0) return false;
  thread_grants.push_back({serial_, base});
  return true;
}

void ParallelPorts::lost(int number, Device& d, int error) {
  kernel_.close(d.fd);
  d.fd = -1;
  d.access = Access::kNone;
  kernel_.warn("io: lost the parallel port " + device_path(number) + " (" + error_text(error) + ")" +
               kIdleNote);
}

uint8_t ParallelPorts::read_locked(int64_t address) {
  const std::optional<Register> r = map(address);
  if (!r) return kNoPortRead;
  Device& d = device(r->device);
  const uint8_t idle = r->offset == kStatusOffset ? kIdleStatus : kIdleRegister;
  switch (d.access) {
    case Access::kPpdev: {
      static constexpr unsigned long kRead[kRegisterCount] = {PPRDATA, PPRSTATUS, PPRCONTROL};
      unsigned char value = 0;
      const int error = kernel_.ioctl(d.fd, kRead[r->offset], &value);
      if (error != 0) {
        lost(r->device, d, -error);
        return idle;
      }
      return value;
    }
    case Access::kRaw: {
      if (!raw_permitted(*d.base)) return idle;
      const uint8_t value = kernel_.inb(static_cast<uint16_t>(*d.base + r->offset));
      return r->offset == kControlOffset ? value & kControlLines : value;
    }
    default:
      return idle;
  }
}

void ParallelPorts::write_locked(int64_t address, uint8_t value) {
  const std::optional<Register> r = map(address);
  if (!r) return;
  Device& d = device(r->device);
  if (r->offset == kStatusOffset) return;  // read-only
  unsigned char byte = r->offset == kControlOffset ? value & kControlLines : value;
  switch (d.access) {
    case Access::kPpdev: {
      const unsigned long request = r->offset == kDataOffset ? PPWDATA : PPWCONTROL;
      const int error = kernel_.ioctl(d.fd, request, &byte);
      if (error != 0) lost(r->device, d, -error);
      return;
    }
    case Access::kRaw:
      if (raw_permitted(*d.base)) kernel_.outb(static_cast<uint16_t>(*d.base + r->offset), byte);
      return;
    default:
      return;
  }
}

void ParallelPorts::write(int64_t address, uint8_t value) {
  std::lock_guard<std::mutex> guard(lock_);
  write_locked(address, value);
}

uint8_t ParallelPorts::read(int64_t address) {
  std::lock_guard<std::mutex> guard(lock_);
  return read_locked(address);
}

bool ParallelPorts::installed() {
  std::lock_guard<std::mutex> guard(lock_);
  scan_proc();
  Device& d = device(first_);
  if (d.access == Access::kPpdev) return true;
  return d.access == Access::kRaw && raw_permitted(*d.base);
}

Access ParallelPorts::access_of(int number) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = devices_.find(number);
  return found == devices_.end() ? Access::kUntried : found->second.access;
}

}  // namespace parport
