#include "panel/panel_model.h"

#include <algorithm>
#include <cstdio>

#include "faults.h"

namespace placasim {

namespace {

void hold(sim::SharedBoard& board, int input, bool on) {
  const int64_t now = sim::monotonic_ns();
  board.with([&](sim::BoardState& s) {
    sim::board_advance(s, now);
    sim::board_hold_input(s, input, on);
  });
}

constexpr auto kShortestCallNs = static_cast<int64_t>(kShortestCallSeconds * sim::kNanosPerSecond);

}  // namespace

View view_of(sim::SharedBoard& board) {
  const int64_t now = sim::monotonic_ns();
  return board.with([&](sim::BoardState& s) {
    sim::board_advance(s, now);
    return View{s, sim::board_inputs(s), sim::lift_moving(s)};
  });
}

Calls::~Calls() {
  for (int i = 0; i < sim::kFloors; ++i)
    if (mouse_[i] || let_go_at_[i] || keys_[i]) hold(board_, sim::kFirstCallInput + i, false);
}

void Calls::press(int call) {
  mouse_[call] = true;
  let_go_at_[call] = 0;
  pressed_at_[call] = sim::monotonic_ns();
  hold(board_, sim::kFirstCallInput + call, true);
}

void Calls::release(int call) {
  if (!mouse_[call]) return;
  mouse_[call] = false;
  let_go_at_[call] = pressed_at_[call] + kShortestCallNs;
  let_go_due(sim::monotonic_ns());
}

void Calls::let_go_due(int64_t now) {
  for (int i = 0; i < sim::kFloors; ++i) {
    if (!let_go_at_[i] || now < let_go_at_[i]) continue;
    let_go_at_[i] = 0;
    if (!keys_[i]) hold(board_, sim::kFirstCallInput + i, false);
  }
}

bool Calls::key(int key, bool down) {
  for (int i = 0; i < sim::kFloors; ++i) {
    if (key != kCallKeys[i]) continue;
    if (down != keys_[i] && !mouse_[i] && !let_go_at_[i]) hold(board_, sim::kFirstCallInput + i, down);
    keys_[i] = down;
    return true;
  }
  return false;
}

void Calls::release_keys() {
  for (const int k : kCallKeys) key(k, false);
}

void set_switch(sim::SharedBoard& board, int which, bool on) { hold(board, sim::kSwitchInputs[which], on); }

void set_analog(sim::SharedBoard& board, int input, uint8_t value) {
  const int64_t now = sim::monotonic_ns();
  board.with([&](sim::BoardState& s) {
    sim::board_advance(s, now);
    sim::board_set_analog(s, input, value);
  });
}

bool switch_on(const View& v, int which) { return v.state.held_inputs & (1u << (sim::kSwitchInputs[which] - 1)); }
bool call_held(const View& v, int call) { return v.state.held_inputs & (1u << (sim::kFirstCallInput - 1 + call)); }

std::string cabin_caption(const View& v) {
  char text[64];
  std::snprintf(text, sizeof text, "cabin %.2f  %s", v.state.position,
                v.moving ? (sim::lift_drive(v.state.outputs) == sim::Drive::toward_top ? "up" : "down") : "still");
  return text;
}

void RuleWatch::follow(const View& v) {
  const int64_t now = v.state.updated_ns;
  history_.feed(v.state, {&checks_});
  checks_.on_look(v.state, now);
  for (const Violation& broken : checks_.take_new()) {
    const int r = static_cast<int>(broken.rule);
    detail_[r] = broken.detail;
    started_ns_[r] = broken.time_ns;
  }
  // The latest episode still going on is the warning.
  int shown = -1;
  for (int r = 0; r < kRules; ++r) {
    const bool going_on = checks_.broken_now(static_cast<Rule>(r)) ||
                          (static_cast<Rule>(r) == Rule::reversal && checks_.count(Rule::reversal) &&
                           now - started_ns_[r] < kMomentShownNs);
    if (going_on && !detail_[r].empty() && (shown < 0 || started_ns_[r] > started_ns_[shown])) shown = r;
  }
  warning_ = shown < 0 ? "" : "RULE BROKEN: " + detail_[shown];
}

std::string RuleWatch::past() const {
  if (!checks_.total()) return "";
  std::string s = "Rules broken so far: " + std::to_string(checks_.total()) + " (";
  for (int r = 0, n = 0; r < kRules; ++r) {
    const auto rule = static_cast<Rule>(r);
    if (checks_.count(rule)) s += std::string(n++ ? ", " : "") + rule_name(rule) + " " + std::to_string(checks_.count(rule));
  }
  return s + ")";
}

void RuleWatch::report() const {
  if (checks_.total())
    for (const auto& line : summary_lines(checks_)) std::fprintf(stderr, "placasim: %s\n", line.c_str());
}

StatusText status_of(const std::string& board, const View& v, const CommandState& command, const RuleWatch& rules,
                 bool name_faults) {
  StatusText status{rules.warning(), "Board \"" + board + "\"\nOutputs " + std::to_string(v.state.outputs) + ", inputs " +
                                     std::to_string(v.inputs) + "\n"};
  if (command.text.empty())
    status.body += "No program started by this panel";
  else if (command.exit)
    status.body += command.text + ": finished (exit " + std::to_string(*command.exit) + ")";
  else
    status.body += "Running: " + command.text;
  if (!rules.past().empty()) status.body += "\n" + rules.past();
  if (name_faults)
    for (const auto& fault : sim::active_faults(v.state)) status.body += "\nFault: " + fault;
  return status;
}

std::string panel_title(const std::string& board) { return "placasim - board " + board; }

bool panel_done(bool (*stopping)(), Child* command, bool close_with_command, CommandState* state, int* exit_code) {
  if (stopping()) return true;
  if (!command) return false;
  if (!state->exit) state->exit = command->poll();
  if (state->exit) *exit_code = *state->exit;
  return state->exit && close_with_command;
}

}  // namespace placasim
