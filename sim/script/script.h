// The script language: runner and trace here, each family of steps in a *_steps file.
//
// Headless scripts: timed actions on the board's inputs and expectations about its
// outputs and the cabin, with a JSON-lines trace of what happened.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "checks/checks.h"
#include "host/screen.h"
#include "script/fault_steps.h"
#include "script/window_steps.h"
#include "shared_board.h"

namespace placasim {

enum class StepKind { wait, press, release, tap, analog, expect_outputs, expect_motor, expect_floor, run, fault, window,
                      click };

struct Step {
  StepKind kind;
  int line = 0;
  std::string text;   // the step as written, for the trace
  int number = 0;     // input, analog input, motor or floor
  int value = 0;      // byte, analog value
  char motor = 'P';
  double seconds = 0; // wait, tap hold, expectation time limit
  std::string command;
  FaultStep fault;
  WindowStep window;  // window, click
};

// Numbers in scripts: decimal or 0x hex in lo..hi; seconds, decimal, 0..24 h.
bool parse_int(const std::string& s, int lo, int hi, int* out);
bool parse_seconds(const std::string& s, double* out);

// Limits of a script, so that a stray file cannot take the memory.
constexpr std::size_t kMaxScriptLine = 4096;
constexpr std::size_t kMaxScriptBytes = 1 << 20;

// Reads a whole script; false with *error ("line N: ...") on the first bad line, a
// line longer than kMaxScriptLine or a script longer than kMaxScriptBytes.
bool parse_script(std::istream& in, std::vector<Step>* steps, std::string* error);
// The same from a file; a directory or a file that cannot be read is refused.
bool read_script_file(const std::string& path, std::vector<Step>* steps, std::string* error);

// Time as the runner sees it; tests pass a fake one.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t now_ns() = 0;
  virtual void sleep_ns(int64_t ns) = 0;
};

class RealClock : public Clock {
 public:
  int64_t now_ns() override;
  void sleep_ns(int64_t ns) override;
};

struct RunHooks {
  // Polled while the script runs: the exit code of the wired command once it has ended.
  std::function<std::optional<int>()> command_ended;
  // A "run" step: start_shell starts the shell command (false and *error when it
  // cannot), then shell_ended is polled until it gives the command's exit code.
  std::function<bool(const std::string&, std::string*)> start_shell;
  std::function<std::optional<int>()> shell_ended;
  // True once placasim has been asked to end: the script stops as failed.
  std::function<bool()> cancelled;
  // Followers of the run (recorders), fed every output change and every look.
  std::vector<Observer*> observers;
  // The checks: fed likewise; their breaches go into the trace, their summary at the end.
  Checks* checks = nullptr;
  bool strict = false;  // a breach ends the script as failed
  // The board was powered on for this run: its output history is followed from then,
  // not from the first look.
  bool from_power_on = false;
  // Set, when the script fails, to one line saying why: the step and its line, or the
  // rule broken under strict.
  std::string* failure = nullptr;
  // Where "window" and "click" steps find their windows; without one they fail.
  Screen* screen = nullptr;
};

constexpr int kScriptPassed = 0;
constexpr int kScriptFailed = 1;

// Runs the steps on the board, tracing to out. Stops at the first failed expectation.
int run_script(const std::vector<Step>& steps, sim::SharedBoard& board, Clock& clock, std::ostream& out,
               const RunHooks& hooks = {});

// A JSON string literal; bytes that are not UTF-8 become U+FFFD.
std::string json_string(const std::string& s);

}  // namespace placasim
