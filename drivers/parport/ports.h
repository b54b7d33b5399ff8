// The PC's parallel ports as the thirteen entry points see them: I/O addresses mapped
// onto the kernel's ports, each claimed once on first use and kept.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "board/registros.h"
#include "kernel.h"
#include "port_ops.h"

namespace parport {

// The register block the system calls "the first parallel port".
constexpr int32_t kFirstPortBase = REGISTRO_DATOS;
constexpr int32_t kRegisterCount = 3;
constexpr int32_t kDataOffset = 0, kStatusOffset = 1, kControlOffset = 2;

// What an idle port answers: every board input reads off when its status line is high.
constexpr uint8_t kIdleStatus = BITS_DE_GRUPO;
constexpr uint8_t kIdleRegister = 0x00;
// An address with no port behind it reads as an undriven bus.
constexpr uint8_t kNoPortRead = 0xFF;
// Control bits 0..3 are the four lines on the connector. Bits 4 (interrupt enable) and
// 5 (data direction) are written as 0, so the data lines always drive the board (through
// ppdev the kernel keeps 5 clear and sets 4 itself at the claim); reads give bits 0..3
// only, as the kernel's copy does through ppdev, so both ways read alike.
constexpr uint8_t kControlLines = 0x0F;

constexpr const char* kDevicePrefix = "/dev/parport";
constexpr const char* kProcDir = "/proc/sys/dev/parport";

enum class Access { kUntried, kPpdev, kRaw, kNone };

class ParallelPorts {
 public:
  explicit ParallelPorts(Kernel& kernel);
  ParallelPorts(const ParallelPorts&) = delete;
  ParallelPorts& operator=(const ParallelPorts&) = delete;

  void write(int64_t address, uint8_t value);
  uint8_t read(int64_t address);
  // Runs f on the ports' bytes under one lock, so a word or a read-modify-write is
  // one step for other threads.
  template <typename F>
  void locked(F&& f) {
    std::lock_guard<std::mutex> guard(lock_);
    port_ops::LockedBytes<ParallelPorts> bytes(*this);
    f(static_cast<port_ops::Bytes&>(bytes));
  }
  // Whether the first port can be reached; claims it if that has not happened yet.
  bool installed();

  // For tests: how a port ended up being reached.
  Access access_of(int device);

 private:
  struct Device {
    Access access = Access::kUntried;
    int fd = -1;
    std::optional<uint16_t> base;  // for raw access
  };
  struct Register {
    int device;
    int32_t offset;
  };

  std::optional<Register> map(int64_t address);
  void scan_proc();
  std::vector<std::string> holders(int number);
  Device& device(int number);
  void open(int number, Device& d);
  bool raw_permitted(uint16_t base);
  void lost(int number, Device& d, int error);

  friend class port_ops::LockedBytes<ParallelPorts>;
  uint8_t read_locked(int64_t address);
  void write_locked(int64_t address, uint8_t value);

  Kernel& kernel_;
  const uint64_t serial_;  // tells this instance's per-thread raw grants apart
  std::mutex lock_;
  bool scanned_ = false;
  std::vector<std::pair<int, uint16_t>> bases_;  // device number, base address
  int first_ = 0;  // the port that 888..890 reach
  std::map<int, Device> devices_;
};

std::string device_path(int number);

}  // namespace parport
