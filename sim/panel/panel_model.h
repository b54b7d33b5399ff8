// What the panel does, whichever toolkit draws it (fltk/panel.cpp with FLTK,
// win32/panel.cpp with plain Win32): the board as one frame sees it, the call buttons
// and keys, the switches and analog inputs, the texts, and when the panel closes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "checks/checks.h"
#include "host/child.h"
#include "shared_board.h"

namespace placasim {

constexpr double kFrameSeconds = 1.0 / 60;
// A click on a call button holds its input at least this long, so that a program
// polling the board sees even a quick one.
constexpr double kShortestCallSeconds = 0.2;
// Keys '1' '2' '3' hold the calls while down.
constexpr int kCallKeys[] = {'1', '2', '3'};

// Snapshot of the board for one frame.
struct View {
  sim::BoardState state;
  uint8_t inputs;
  bool moving;
};
View view_of(sim::SharedBoard& board);

// The call buttons, held by the mouse (at least kShortestCallSeconds) or by the keys.
// Whatever it still holds is let go when it is destroyed.
class Calls {
 public:
  explicit Calls(sim::SharedBoard& board) : board_(board) {}
  ~Calls();
  Calls(const Calls&) = delete;
  Calls& operator=(const Calls&) = delete;

  void press(int call);
  void release(int call);
  // key is a character; false when it is no call key.
  bool key(int key, bool down);
  void release_keys();
  // Once a frame: lets go of clicks held long enough, and of keys that key_down(key)
  // says are up (key releases do not always reach a window).
  template <typename KeyDown>
  void tick(KeyDown key_down) {
    for (int i = 0; i < sim::kFloors; ++i)
      if (keys_[i] && !key_down(kCallKeys[i])) key(kCallKeys[i], false);
    let_go_due(sim::monotonic_ns());
  }

 private:
  void let_go_due(int64_t now);
  sim::SharedBoard& board_;
  int64_t pressed_at_[sim::kFloors] = {};
  int64_t let_go_at_[sim::kFloors] = {};  // 0: not waiting to let go
  bool mouse_[sim::kFloors] = {};
  bool keys_[sim::kFloors] = {};
};

void set_switch(sim::SharedBoard& board, int which, bool on);  // which: 0 or 1
void set_analog(sim::SharedBoard& board, int input, uint8_t value);  // input: 1..kAnalogInputs
bool switch_on(const View& v, int which);
bool call_held(const View& v, int call);

// A breach of a moment (a reversal) stays the warning this long, to be read.
constexpr int64_t kMomentShownNs = 2 * sim::kNanosPerSecond;

// The lift's rules, followed from the board's output history as the frames go, from
// the board's power-on when the panel's own command powered it on, else from the
// first frame; every later power-on starts the episodes afresh.
class RuleWatch {
 public:
  RuleWatch() : RuleWatch(Limits{}, false) {}
  RuleWatch(const Limits& limits, bool from_power_on) : checks_(limits), history_(from_power_on) {}
  // Once a frame (the view's time is when the board was looked at).
  void follow(const View& v);
  // "RULE BROKEN: ..." while the latest rule broken still is, or "".
  const std::string& warning() const { return warning_; }
  // "Rules broken so far: n" once any was, or "".
  std::string past() const;
  // The rules broken, summed up on standard error, when any was.
  void report() const;
  const Checks& checks() const { return checks_; }

 private:
  Checks checks_;
  History history_;
  std::string warning_;
  std::string detail_[kRules];
  int64_t started_ns_[kRules] = {};
};

// "cabin 1.52  up", above the shaft.
std::string cabin_caption(const View& v);
// The command the panel started, as the panel tells it.
struct CommandState {
  std::string text;          // "" when the panel started none
  std::optional<int> exit;   // once it ended
};

// Under the controls: the rule broken now (drawn as a warning), then the board, its
// bytes, the program and how it is, the rules broken so far, and the active faults
// unless the instructor hides them from the student.
struct StatusText {
  std::string warning;
  std::string body;
  std::string text() const { return warning.empty() ? body : warning + "\n" + body; }
};
StatusText status_of(const std::string& board, const View& v, const CommandState& command, const RuleWatch& rules,
                 bool name_faults);
std::string panel_title(const std::string& board);

// Why the panel closes this frame: a stop request, or the command's end when the panel
// goes with it (close_with_command); false while it stays. Notes the command's exit in
// *state and *exit_code once it ended.
bool panel_done(bool (*stopping)(), Child* command, bool close_with_command, CommandState* state, int* exit_code);

}  // namespace placasim
