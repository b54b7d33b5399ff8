// A run of the board as a VCD waveform (value change dump), streamed to its file as
// the run goes so that a long run keeps its memory flat.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "checks/checks.h"
#include "recordings/observer.h"

namespace placasim {

// Signals: in1..in8, out1..out8 (1 bit); motor1..motor4 (-1 'I', 0 'P', +1 'D'),
// analog1..analog4 (0..255) and cabin (in floors) as reals, which more readers take
// than vectors; rule_<name> for each of the lift's rules (1 bit), high while it is
// broken (a reversal for one look). Timescale 1 us, times from the start of the
// recording.
class VcdRecorder : public Observer {
 public:
  // Opens (truncates) the file now, so that one that cannot be written is known before
  // the run; null and *error when it cannot. The rules are judged with limits.
  static std::unique_ptr<VcdRecorder> open(const std::string& path, std::string* error, const Limits& limits = {});
  ~VcdRecorder() override;

  void on_change(const sim::OutputChange& change) override;
  void on_look(const sim::BoardState& board, int64_t now_ns) override;
  void on_power_on(const sim::BoardState& board) override { checks_.on_power_on(board); }
  // Writes what is buffered; false when the file could not be written.
  bool finish();

 private:
  VcdRecorder(std::FILE* file, const Limits& limits) : file_(file), checks_(limits) {}
  void header(int64_t start_ns);
  void at(int64_t time_ns);
  void put(const std::string& change);
  void outputs(uint8_t value);
  void position(double floors);
  void rules();

  std::FILE* file_;
  bool started_ = false;
  int64_t start_ns_ = 0;
  int64_t written_us_ = -1;  // the last time stamp written
  int64_t pending_us_ = 0;   // the time of the values written next
  int last_inputs_ = -1, last_outputs_ = -1;
  int last_analog_[sim::kAnalogInputs] = {-1, -1, -1, -1};
  double last_position_ = -1;
  Checks checks_;
  int last_rule_[kRules] = {-1, -1, -1, -1, -1, -1};
  bool failed_ = false;
};

}  // namespace placasim
