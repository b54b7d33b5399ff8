// Test side of the recording port driver: reaches its controls through the same
// loaded "io" that the board code binds to.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "recording_driver.h"
#include "win32.h"

struct PortAccess {
  int32_t kind, port, value;
  bool operator==(const PortAccess&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const PortAccess& a) {
  const char* kind = a.kind == kByteOut ? "out" : a.kind == kByteIn ? "in" : "other";
  return out << kind << "(" << a.port << "," << a.value << ")";
}

constexpr int32_t kDataPort = 888, kStatusPort = 889, kControlPort = 890;

inline PortAccess Out(int32_t port, int32_t value) { return {kByteOut, port, value}; }
inline PortAccess In(int32_t port, int32_t value) { return {kByteIn, port, value}; }

class Recorder {
 public:
  Recorder() : module_(LoadLibraryA("io")) {
    resolve(reset_, "rec_reset");
    resolve(count_, "rec_count");
    resolve(entry_, "rec_entry");
    resolve(script_, "rec_script_status");
    resolve(default_, "rec_default_status");
    resolve(reads_, "rec_status_reads");
  }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;
  ~Recorder() {
    if (module_) FreeLibrary(module_);
  }

  bool loaded() const { return reset_ != nullptr; }
  void reset() { reset_(); }

  std::vector<PortAccess> log() const {
    std::vector<PortAccess> out;
    for (int32_t i = 0, n = count_(); i < n; ++i) {
      PortAccess a{};
      entry_(i, &a.kind, &a.port, &a.value);
      out.push_back(a);
    }
    return out;
  }
  // Bytes written to one register, in order.
  std::vector<int32_t> writes_to(int32_t port) const {
    std::vector<int32_t> out;
    for (const PortAccess& a : log())
      if (a.kind == kByteOut && a.port == port) out.push_back(a.value);
    return out;
  }
  int32_t status_reads() const { return reads_(); }

  void script_status(int32_t control, std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> copy(bytes);
    script_(control, copy.data(), static_cast<int32_t>(copy.size()));
  }
  void default_status(uint8_t status) { default_(status); }

 private:
  template <typename F>
  void resolve(F& target, const char* name) {
    target = module_ ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)))
                     : nullptr;
  }

  HMODULE module_;
  void (*reset_)() = nullptr;
  int32_t (*count_)() = nullptr;
  int32_t (*entry_)(int32_t, int32_t*, int32_t*, int32_t*) = nullptr;
  void (*script_)(int32_t, const uint8_t*, int32_t) = nullptr;
  void (*default_)(uint8_t) = nullptr;
  int32_t (*reads_)() = nullptr;
};
