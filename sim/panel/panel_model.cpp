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
  const uint64_t total = v.state.changes_total;
  // The history keeps the latest kChangeHistory changes; older ones are gone.
  if (!seen_changes_ || total - *seen_changes_ > static_cast<uint64_t>(sim::kChangeHistory))
    seen_changes_ = total - std::min<uint64_t>(total, sim::kChangeHistory);
  for (; *seen_changes_ < total; ++*seen_changes_)
    checks_.on_change(v.state.changes[*seen_changes_ % sim::kChangeHistory]);
  checks_.on_look(v.state, sim::monotonic_ns());
  for (const Violation& broken : checks_.take_new())
    warning_ = "RULE BROKEN: " + broken.detail + " (" + std::to_string(checks_.total()) + " in all)";
}

void RuleWatch::report() const {
  if (checks_.total())
    for (const auto& line : summary_lines(checks_)) std::fprintf(stderr, "placasim: %s\n", line.c_str());
}

std::string status_text(const std::string& board, const View& v, const Child* command, const std::string& command_text,
                        const RuleWatch& rules, bool name_faults) {
  char text[512];
  std::snprintf(text, sizeof text, "Board \"%s\"\nOutputs %d, inputs %d\n%s", board.c_str(), v.state.outputs, v.inputs,
                command ? ("Running: " + command_text).c_str() : "No program started by this panel");
  std::string status = text;
  if (name_faults)
    for (const auto& fault : sim::active_faults(v.state)) status += "\nFault: " + fault;
  if (!rules.warning().empty()) status = rules.warning() + "\n" + status;
  return status;
}

std::string panel_title(const std::string& board) { return "placasim - board " + board; }

bool panel_done(bool (*stopping)(), Child* command, int* exit_code) {
  if (stopping()) return true;
  if (!command) return false;
  const auto code = command->poll();
  if (code) *exit_code = *code;
  return code.has_value();
}

}  // namespace placasim
