// The USB adaptor as the PC's first parallel port: the three registers at 888..890
// reach the adaptor's registers over its serial port, found on first use.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "board/registros.h"
#include "link.h"
#include "port_ops.h"

namespace serial {

constexpr int32_t kFirstPortBase = REGISTRO_DATOS;
// What an idle port answers, as drivers/parport's: every board input off.
constexpr uint8_t kIdleStatus = BITS_DE_GRUPO;
constexpr uint8_t kIdleRegister = 0x00;
// An address with no port behind it reads as an undriven bus.
constexpr uint8_t kNoPortRead = 0xFF;

struct Timing {
  // A read's whole round trip. Normally well under 2 ms (1 ms USB frames, 40 us on
  // the wire); an FTDI-based Nano holds answers up to its 16 ms latency timer and
  // Windows rounds waits to its 15.6 ms tick, so 100 ms never fires on a live
  // adaptor, even on a loaded machine running the emulated one. It is paid once
  // when the adaptor goes, after which reads answer at once.
  milliseconds read_timeout{100};
  // One identify request's answer (24 bytes, 0.24 ms on the wire).
  milliseconds identify_timeout{100};
  // How long the first search keeps asking a silent port: opening a Uno's or a
  // Nano's port resets it and its bootloader waits about a second, up to two on old
  // Nanos, before the firmware runs; each request it cannot parse cuts that short.
  milliseconds boot_window{3000};
  // Between attempts to find the adaptor again.
  milliseconds retry_interval{1000};
  // Bytes sent with no answer since: past this, a write waits for the adaptor to
  // answer a read first. A port's buffers hold far more (a pty's 64 KB, over half a
  // second at 1 Mbaud) and a read's request waits behind all that is queued; so a
  // program writing faster than the adaptor takes the bytes waits for it, as a
  // parallel port's writes wait for its bus, and the queue stays 2.6 ms short
  // however fast the adaptor drains it.
  size_t most_unconfirmed = 256;
};

class Adaptor {
 public:
  explicit Adaptor(System& system, Timing timing = {});
  Adaptor(const Adaptor&) = delete;
  Adaptor& operator=(const Adaptor&) = delete;

  // Runs f on the adaptor's bytes under one lock; writes reach the port by the end.
  template <typename F>
  void locked(F&& f) {
    std::lock_guard<std::mutex> guard(lock_);
    port_ops::LockedBytes<Adaptor> bytes(*this);
    f(static_cast<port_ops::Bytes&>(bytes));
    flush();
  }
  void write(int64_t address, uint8_t value) {
    locked([&](port_ops::Bytes& b) { b.write(address, value); });
  }
  uint8_t read(int64_t address) {
    uint8_t value = 0;
    locked([&](port_ops::Bytes& b) { value = b.read(address); });
    return value;
  }
  // Whether the adaptor answers; looks for it if that is due.
  bool installed();

  // For tests: the port in use, empty while idle.
  std::string port();

 private:
  friend class port_ops::LockedBytes<Adaptor>;
  struct Probe;

  uint8_t read_locked(int64_t address);
  void write_locked(int64_t address, uint8_t value);
  bool connected();
  void connect();
  std::vector<std::string> ports_to_try();
  void flush();
  // Sends out_ (false, the adaptor lost, when it cannot); first confirm()s when too
  // much is unanswered.
  bool send_out();
  // The adaptor answers a read: it has taken everything sent before.
  bool confirm();
  // A read's answer, waiting for what is queued before it too.
  bool receive_answer(uint8_t* value);
  void lose(const std::string& why);

  System& system_;
  const Timing timing_;
  std::mutex lock_;
  std::unique_ptr<Link> link_;
  std::string port_;        // the port in use, or last in use
  bool reported_ = false;  // a failure was told and no recovery since
  std::optional<Clock::time_point> next_attempt_;  // none: never tried
  std::vector<uint8_t> out_;  // writes not yet sent
  size_t unconfirmed_ = 0;  // bytes sent since the last answer
  // Writes the program made, put back on an adaptor found later: it missed those
  // made while the port was idle, and may have been reset since.
  std::array<std::optional<uint8_t>, 3> written_;
};

}  // namespace serial
