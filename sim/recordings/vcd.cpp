#include "recordings/vcd.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace placasim {

namespace {

// Identifiers: one printable character per signal, in the order declared.
constexpr char kFirstId = '!';
constexpr int kInputIds = 0;
constexpr int kOutputIds = kInputIds + sim::kInputs;
constexpr int kMotorIds = kOutputIds + sim::kOutputs;
constexpr int kAnalogIds = kMotorIds + sim::kMotors;
constexpr int kCabinId = kAnalogIds + sim::kAnalogInputs;
constexpr int kRuleIds = kCabinId + 1;
// The cabin's position is written when it has moved this much (1/1000 floor: 2.5 ms of travel).
constexpr double kPositionStep = 0.001;

char id(int n) { return static_cast<char>(kFirstId + n); }

}  // namespace

std::unique_ptr<VcdRecorder> VcdRecorder::open(const std::string& path, std::string* error, const Limits& limits) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    *error = "cannot write the waveform " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<VcdRecorder>(new VcdRecorder(file, limits));
}

VcdRecorder::~VcdRecorder() { finish(); }

bool VcdRecorder::finish() {
  if (file_) {
    // The recording lasts until the last look, also when nothing changed toward its end.
    if (started_ && pending_us_ > written_us_) std::fprintf(file_, "#%lld\n", static_cast<long long>(pending_us_));
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
  }
  return !failed_;
}

void VcdRecorder::header(int64_t start_ns) {
  start_ns_ = start_ns;
  // Sections on lines of their own: some readers take nothing else.
  std::fputs("$version\n  placasim\n$end\n$timescale\n  1us\n$end\n$scope module lift $end\n", file_);
  for (int n = 1; n <= sim::kInputs; ++n) std::fprintf(file_, "$var wire 1 %c in%d $end\n", id(kInputIds + n - 1), n);
  for (int n = 1; n <= sim::kOutputs; ++n)
    std::fprintf(file_, "$var wire 1 %c out%d $end\n", id(kOutputIds + n - 1), n);
  for (int n = 1; n <= sim::kMotors; ++n)
    std::fprintf(file_, "$var real 64 %c motor%d $end\n", id(kMotorIds + n - 1), n);
  for (int n = 1; n <= sim::kAnalogInputs; ++n)
    std::fprintf(file_, "$var real 64 %c analog%d $end\n", id(kAnalogIds + n - 1), n);
  std::fprintf(file_, "$var real 64 %c cabin $end\n", id(kCabinId));
  for (int r = 0; r < kRules; ++r)
    std::fprintf(file_, "$var wire 1 %c rule_%s $end\n", id(kRuleIds + r), rule_name(static_cast<Rule>(r)));
  std::fputs("$upscope $end\n$enddefinitions $end\n", file_);
}

// A time stamp, never going back: a change latched by another process just before a
// look can reach the recorder just after it.
void VcdRecorder::at(int64_t time_ns) {
  pending_us_ = std::max<int64_t>((time_ns - start_ns_) / 1000, std::max<int64_t>(written_us_, 0));
}

// One value change, after the time stamp when that is new.
void VcdRecorder::put(const std::string& change) {
  if (pending_us_ != written_us_) {
    std::fprintf(file_, "#%lld\n", static_cast<long long>(pending_us_));
    written_us_ = pending_us_;
  }
  std::fputs(change.c_str(), file_);
  std::fputc('\n', file_);
}

void VcdRecorder::outputs(uint8_t value) {
  if (value == last_outputs_) return;
  for (int n = 1; n <= sim::kOutputs; ++n) {
    const int bit = (value >> (n - 1)) & 1;
    if (last_outputs_ < 0 || bit != ((last_outputs_ >> (n - 1)) & 1)) put(std::to_string(bit) + id(kOutputIds + n - 1));
  }
  for (int m = 1; m <= sim::kMotors; ++m) {
    const char state = sim::motor_state(value, m);
    if (last_outputs_ < 0 || state != sim::motor_state(static_cast<uint8_t>(last_outputs_), m))
      put("r" + std::to_string(sim::motor_direction(state)) + ' ' + id(kMotorIds + m - 1));
  }
  last_outputs_ = value;
}

void VcdRecorder::position(double floors) {
  if (last_position_ >= 0 && std::fabs(floors - last_position_) < kPositionStep) return;
  char text[32];
  std::snprintf(text, sizeof text, "r%.4f %c", floors, id(kCabinId));
  put(text);
  last_position_ = floors;
}

void VcdRecorder::rules() {
  bool fresh[kRules] = {};
  for (const Violation& v : checks_.take_new()) fresh[static_cast<int>(v.rule)] = true;
  for (int r = 0; r < kRules; ++r) {
    const int bit = fresh[r] || checks_.broken_now(static_cast<Rule>(r));
    if (bit != last_rule_[r]) put(std::to_string(bit) + id(kRuleIds + r));
    last_rule_[r] = bit;
  }
}

void VcdRecorder::on_change(const sim::OutputChange& change) {
  checks_.on_change(change);
  if (!file_ || !started_) return;
  at(change.time_ns);
  outputs(change.outputs);
  position(change.position);
}

void VcdRecorder::on_look(const sim::BoardState& board, int64_t now_ns) {
  if (!file_) return;
  if (!started_) {
    header(now_ns);
    started_ = true;
  }
  at(now_ns);
  const uint8_t inputs = sim::board_inputs(board);
  if (inputs != last_inputs_) {
    for (int n = 1; n <= sim::kInputs; ++n) {
      const int bit = (inputs >> (n - 1)) & 1;
      if (last_inputs_ < 0 || bit != ((last_inputs_ >> (n - 1)) & 1)) put(std::to_string(bit) + id(kInputIds + n - 1));
    }
    last_inputs_ = inputs;
  }
  outputs(board.outputs);
  for (int n = 1; n <= sim::kAnalogInputs; ++n) {
    if (board.analog[n - 1] == last_analog_[n - 1]) continue;
    put("r" + std::to_string(board.analog[n - 1]) + ' ' + id(kAnalogIds + n - 1));
    last_analog_[n - 1] = board.analog[n - 1];
  }
  position(board.position);
  checks_.on_look(board, now_ns);
  rules();
  if (std::ferror(file_)) failed_ = true;
}

}  // namespace placasim
