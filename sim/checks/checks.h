// The lift's rules: a new one is a Rule here and its check in checks.cpp.
//
// Safety and service rules the simulated lift checks while a program drives it. Each
// rule is reported when it starts to be broken; the needless motor writes are a figure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recordings/observer.h"

namespace placasim {

enum class Rule { both_directions, end_stop, reversal, other_outputs, needless_writes, stall };
constexpr int kRules = 6;

// The rule's name in the trace ("both_directions", ...).
const char* rule_name(Rule rule);

// Driving the cabin against an end stop is a breach once it lasts longer than this.
constexpr int64_t kEndStopLimitNs = 500000000;
// The motor driven while the cabin does not move (a stalled motor, a jammed cabin) is
// a breach once it lasts longer than this, unless set otherwise (--stall-seconds).
constexpr double kStallSeconds = 1.0;
constexpr double kMaxStallSeconds = 3600;
// The needless-writes rate is judged over windows of this length.
constexpr int64_t kWritesWindowNs = 1000000000;

// Episodes of one rule reported one by one; later ones are only counted, so that a
// program breaking a rule on every pass cannot flood the trace.
constexpr uint64_t kReportedPerRule = 10;

struct Violation {
  Rule rule;
  int64_t time_ns;
  std::string detail;  // what happened, in words
};

struct WritesFigure {
  uint64_t writes = 0;     // writes to the output latch
  uint64_t needless = 0;   // of those, writes that changed nothing
  double seconds = 0;      // over this long
};

struct Limits {
  // Writes per second that change nothing above which that figure counts as a
  // breach; 0 only reports it.
  double needless_per_second = 0;
  // How long the motor may be driven with the cabin still; 0: no stall rule.
  double stall_seconds = kStallSeconds;
};

class Checks : public Observer {
 public:
  Checks() = default;
  explicit Checks(const Limits& limits) : limits_(limits) {}
  explicit Checks(double needless_limit) : limits_{needless_limit} {}

  void on_change(const sim::OutputChange& change) override;
  void on_look(const sim::BoardState& board, int64_t now_ns) override;
  // Episodes under way end; the figures go on from the board's new counts.
  void on_power_on(const sim::BoardState& board) override;

  // Breaches found since the last call, in order; each is the start of an episode
  // (at most kReportedPerRule of each rule).
  std::vector<Violation> take_new();
  // Episodes of each rule so far.
  uint64_t count(Rule rule) const { return counts_[static_cast<int>(rule)]; }
  uint64_t total() const;
  // True while the rule is broken (a reversal is a moment, never "now").
  bool broken_now(Rule rule) const { return broken_[static_cast<int>(rule)]; }
  // Summed over the power-ons followed.
  WritesFigure writes() const;

 private:
  void breach(Rule rule, bool now_broken, int64_t time_ns, const std::string& detail);
  void record(Rule rule, int64_t time_ns, const std::string& detail);
  void pushing(bool against_stop, int64_t time_ns, double position);
  void stalling(const sim::BoardState& board, int64_t now_ns);
  void start_counting(const sim::BoardState& board, int64_t from_ns, bool from_zero);

  Limits limits_;
  std::vector<Violation> new_;
  uint64_t counts_[kRules] = {};
  bool broken_[kRules] = {};
  uint8_t direction_ = 0;       // 1 or 2: the last direction driven since a stop
  int64_t pushing_since_ = -1;  // driven against an end stop since
  bool started_ = false;
  int64_t first_ns_ = 0, last_ns_ = 0;
  uint64_t writes_at_start_ = 0, needless_at_start_ = 0, writes_ = 0, needless_ = 0;
  WritesFigure before_;  // of the power-ons followed before the latest
  int64_t window_ns_ = 0;
  uint64_t window_needless_ = 0;
  int64_t still_since_ = -1;  // driven with the cabin at still_at_ since
  double still_at_ = 0;
};

// The summary of a run: one line per rule broken, and the needless-writes figure.
std::vector<std::string> summary_lines(const Checks& checks);

}  // namespace placasim
