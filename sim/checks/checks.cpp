#include "checks/checks.h"

#include <algorithm>
#include <cstdio>

namespace placasim {

namespace {

constexpr uint8_t kLiftOutputs = sim::kOutputTowardFirst | sim::kOutputTowardTop;

bool against_end_stop(uint8_t outputs, double position) {
  switch (sim::lift_drive(outputs)) {
    case sim::Drive::toward_first: return position <= sim::kBottomFloor;
    case sim::Drive::toward_top: return position >= sim::kTopFloor;
    case sim::Drive::stopped: break;
  }
  return false;
}

std::string outputs_list(uint8_t outputs) {
  std::string s;
  for (int n = 3; n <= sim::kOutputs; ++n)
    if (outputs & (1u << (n - 1))) s += (s.empty() ? "" : ", ") + std::to_string(n);
  return s;
}

}  // namespace

const char* rule_name(Rule rule) {
  switch (rule) {
    case Rule::both_directions: return "both_directions";
    case Rule::end_stop: return "end_stop";
    case Rule::reversal: return "reversal";
    case Rule::other_outputs: return "other_outputs";
    case Rule::needless_writes: return "needless_writes";
    case Rule::stall: return "stall";
  }
  return "?";
}

void Checks::breach(Rule rule, bool now_broken, int64_t time_ns, const std::string& detail) {
  const int r = static_cast<int>(rule);
  if (now_broken && !broken_[r]) record(rule, time_ns, detail);
  broken_[r] = now_broken;
}

void Checks::record(Rule rule, int64_t time_ns, const std::string& detail) {
  if (++counts_[static_cast<int>(rule)] <= kReportedPerRule) new_.push_back({rule, time_ns, detail});
}

void Checks::pushing(bool against_stop, int64_t time_ns, double position) {
  if (!against_stop) {
    pushing_since_ = -1;
    breach(Rule::end_stop, false, time_ns, "");
    return;
  }
  if (pushing_since_ < 0) pushing_since_ = time_ns;
  char detail[96];
  std::snprintf(detail, sizeof detail, "cabin driven against the end stop at floor %d for more than %.1f s",
                position <= sim::kBottomFloor ? 1 : sim::kFloors, static_cast<double>(kEndStopLimitNs) / 1e9);
  breach(Rule::end_stop, time_ns - pushing_since_ > kEndStopLimitNs, time_ns, detail);
}

void Checks::on_change(const sim::OutputChange& c) {
  const uint8_t lift = c.outputs & kLiftOutputs;
  breach(Rule::both_directions, lift == kLiftOutputs, c.time_ns, "outputs 1 and 2 on together");
  breach(Rule::other_outputs, (c.outputs & ~kLiftOutputs) != 0, c.time_ns,
         "outputs " + outputs_list(c.outputs) + " switched on (byte " + std::to_string(c.outputs) + ")");
  if (lift == 0) {
    direction_ = 0;
  } else if (lift != kLiftOutputs) {
    if (direction_ && direction_ != lift) {
      // A reversal is a moment, not a state: each one is an episode of its own.
      record(Rule::reversal, c.time_ns,
             std::string("motor reversed toward floor ") + (lift == sim::kOutputTowardTop ? "3" : "1") +
                 " without a stop");
    }
    direction_ = lift;
  }
  pushing(against_end_stop(c.outputs, c.position), c.time_ns, c.position);
}

void Checks::start_counting(const sim::BoardState& board, int64_t from_ns, bool from_zero) {
  started_ = true;
  first_ns_ = last_ns_ = window_ns_ = from_ns;
  writes_at_start_ = from_zero ? 0 : board.output_writes;
  needless_at_start_ = from_zero ? 0 : board.output_writes_unchanged;
  writes_ = needless_ = window_needless_ = 0;
}

void Checks::on_power_on(const sim::BoardState& board) {
  if (started_) {
    const WritesFigure w = writes();
    before_ = w;
  }
  for (bool& b : broken_) b = false;
  direction_ = 0;
  pushing_since_ = still_since_ = -1;
  start_counting(board, board.powered_on_ns, true);
}

void Checks::stalling(const sim::BoardState& board, int64_t now_ns) {
  const bool driven = sim::lift_drive(board.outputs) != sim::Drive::stopped &&
                      !against_end_stop(board.outputs, board.position);
  if (!driven || limits_.stall_seconds <= 0 || still_since_ < 0 || board.position != still_at_) {
    still_since_ = driven ? now_ns : -1;
    still_at_ = board.position;
    breach(Rule::stall, false, now_ns, "");
    return;
  }
  char detail[96];
  std::snprintf(detail, sizeof detail, "motor driven with the cabin still at %.2f for more than %.1f s",
                board.position, limits_.stall_seconds);
  breach(Rule::stall, static_cast<double>(now_ns - still_since_) / 1e9 > limits_.stall_seconds, now_ns, detail);
}

void Checks::on_look(const sim::BoardState& board, int64_t now_ns) {
  if (!started_) start_counting(board, now_ns, false);
  // Counts below the start belong to a power-on nobody reported: start again from it.
  if (board.output_writes < writes_at_start_ || board.output_writes_unchanged < needless_at_start_) on_power_on(board);
  last_ns_ = std::max(last_ns_, now_ns);
  writes_ = board.output_writes - writes_at_start_;
  needless_ = board.output_writes_unchanged - needless_at_start_;
  pushing(against_end_stop(board.outputs, board.position), now_ns, board.position);
  stalling(board, now_ns);
  if (now_ns - window_ns_ >= kWritesWindowNs) {
    const double rate = static_cast<double>(needless_ - window_needless_) * 1e9 / static_cast<double>(now_ns - window_ns_);
    if (limits_.needless_per_second > 0) {
      char detail[96];
      std::snprintf(detail, sizeof detail, "%.0f needless motor writes per second (limit %g)", rate,
                    limits_.needless_per_second);
      breach(Rule::needless_writes, rate > limits_.needless_per_second, now_ns, detail);
    }
    window_ns_ = now_ns;
    window_needless_ = needless_;
  }
}

std::vector<Violation> Checks::take_new() {
  std::vector<Violation> out;
  out.swap(new_);
  return out;
}

uint64_t Checks::total() const {
  uint64_t n = 0;
  for (const uint64_t c : counts_) n += c;
  return n;
}

WritesFigure Checks::writes() const {
  return {before_.writes + writes_, before_.needless + needless_,
          before_.seconds + static_cast<double>(last_ns_ - first_ns_) / 1e9};
}

std::vector<std::string> summary_lines(const Checks& checks) {
  std::vector<std::string> lines;
  for (int r = 0; r < kRules; ++r) {
    const auto rule = static_cast<Rule>(r);
    if (checks.count(rule)) lines.push_back(std::string(rule_name(rule)) + ": broken " + std::to_string(checks.count(rule)) + " time(s)");
  }
  const WritesFigure w = checks.writes();
  char text[160];
  std::snprintf(text, sizeof text, "needless motor writes: %llu of %llu (%.0f per second over %.1f s)",
                static_cast<unsigned long long>(w.needless), static_cast<unsigned long long>(w.writes),
                w.seconds > 0 ? static_cast<double>(w.needless) / w.seconds : 0.0, w.seconds);
  lines.push_back(text);
  return lines;
}

}  // namespace placasim
