// The seam between the adaptor's logic and the system's serial ports: everything the
// driver asks of the system goes through here, so tests can stand a fake in its place.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace serial {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One open serial port, raw, at the adaptor's speed. Closed when destroyed.
class Link {
 public:
  virtual ~Link() = default;
  // Sends every byte, waiting at most `timeout` for room; false when the port failed.
  virtual bool send(const uint8_t* data, size_t size, milliseconds timeout) = 0;
  // Reads what has arrived, waiting up to `timeout` for a first byte: the number of
  // bytes read (0 on time-out), or -1 when the port failed.
  virtual long receive(uint8_t* data, size_t size, milliseconds timeout) = 0;
  // Drops whatever has arrived and not been read.
  virtual void drop_input() = 0;
  // Puts back the port's settings as they were before the open: for a port that
  // turned out not to be this adaptor. keep_dtr leaves DTR as the open set it, for one
  // that may be an adaptor (starting, or of another version): a Uno or a Nano resets
  // each time DTR is raised again, so the next attempt would catch it starting anew.
  virtual void restore(bool keep_dtr) = 0;
  // Why the last send or receive failed, in words.
  virtual std::string error() const = 0;
};

struct Opened {
  std::unique_ptr<Link> link;
  std::string error;  // why it did not open, for the user
  bool absent = false;  // no such port: not worth a word in a scan
};

class System {
 public:
  virtual ~System() = default;
  virtual Opened open(const std::string& name) = 0;
  // The port the user named (PLACAIO_SERIAL), if any.
  virtual std::optional<std::string> configured() = 0;
  // The ports an adaptor is likely on, in the order to try them.
  virtual std::vector<std::string> candidates() = 0;
  // What the candidates are, in words, for a message that found none.
  virtual std::string candidate_pattern() = 0;
  virtual Clock::time_point now() = 0;
  // One line for the user, on standard error.
  virtual void warn(const std::string& line) = 0;
};

// The running system's serial ports.
System& system_ports();

// What both systems' ports share: the port PLACAIO_SERIAL names, and a line on stderr.
std::optional<std::string> port_named_by_user();
void warn_on_stderr(const std::string& line);

}  // namespace serial
