// placasim: the simulated board and lift, with a panel or headless from a script,
// and the command it runs wired to that board.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>

#include "child.h"
#include "host.h"
#include "options.h"
#include "script.h"
#include "shared_board.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStopGraceMs = 2000;

int finish(placasim::Child& command) {
  int64_t deadline = 0;
  for (;;) {
    if (const auto code = command.poll()) return *code;
    const int64_t now = sim::monotonic_ns();
    if (placasim::stop_requested() && !deadline) deadline = now + int64_t{kStopGraceMs} * 1000000;
    if (deadline && now > deadline) command.kill();
    placasim::pause_ms(10);
  }
}

std::string joined(const std::vector<std::string>& words) {
  std::string s;
  for (const auto& w : words) s += (s.empty() ? "" : " ") + w;
  return s;
}

int script_mode(const placasim::Options& o, sim::SharedBoard& board) {
  std::ifstream file(o.script);
  if (!file) {
    std::fprintf(stderr, "placasim: cannot read the script %s\n", o.script.c_str());
    return kUsageError;
  }
  std::vector<placasim::Step> steps;
  std::string error;
  if (!placasim::parse_script(file, &steps, &error)) {
    std::fprintf(stderr, "placasim: %s: %s\n", o.script.c_str(), error.c_str());
    return kUsageError;
  }
  std::ofstream trace_file;
  if (!o.trace.empty()) {
    trace_file.open(o.trace);
    if (!trace_file) {
      std::fprintf(stderr, "placasim: cannot write the trace %s\n", o.trace.c_str());
      return kUsageError;
    }
  }
  std::ostream& trace = o.trace.empty() ? std::cout : trace_file;
  // Programs started from here must not write into a trace on standard output.
  const bool quiet_children = o.trace.empty();

  std::optional<placasim::Child> command, shell;
  if (!o.command.empty()) {
    command = placasim::Child::start(o.command, quiet_children, &error);
    if (!command) {
      std::fprintf(stderr, "placasim: %s\n", error.c_str());
      return kUsageError;
    }
    placasim::forward_stops_to(&*command);
  }
  placasim::RunHooks hooks;
  if (command) hooks.command_ended = [&] { return command->poll(); };
  hooks.start_shell = [&](const std::string& text, std::string* err) {
    shell = placasim::Child::start(placasim::shell_command(text), quiet_children, err);
    return shell.has_value();
  };
  hooks.shell_ended = [&] { return shell->poll(); };
  hooks.cancelled = [] { return placasim::stop_requested(); };

  placasim::RealClock clock;
  const int result = placasim::run_script(steps, board, clock, trace, hooks);
  if (command) command->stop(kStopGraceMs);
  return result;
}

int panel_mode(const placasim::Options& o, sim::SharedBoard& board) {
  std::optional<placasim::Child> command;
  if (!o.command.empty()) {
    std::string error;
    command = placasim::Child::start(o.command, false, &error);
    if (!command) {
      std::fprintf(stderr, "placasim: %s\n", error.c_str());
      return kUsageError;
    }
    placasim::forward_stops_to(&*command);
  }
  const std::optional<int> panel =
      o.panel ? placasim::show_panel(board, command ? &*command : nullptr, joined(o.command)) : std::nullopt;
  if (panel) {
    if (*panel >= 0) return *panel;
    if (command && !placasim::stop_requested() && !command->poll())
      std::fprintf(stderr, "placasim: panel closed; %s goes on running on the board\n", o.command[0].c_str());
  }
  if (!command) return panel ? 0 : kUsageError;
  return finish(*command);
}

}  // namespace

int main(int argc, char** argv) {
  placasim::Options o;
  std::string error;
  if (!placasim::parse_options(argc, argv, &o, &error)) {
    std::fprintf(stderr, "placasim: %s\n%s", error.c_str(), placasim::kUsage);
    return kUsageError;
  }
  if (o.help) {
    std::fputs(placasim::kUsage, stdout);
    return 0;
  }
  const std::string name = o.board.empty() ? sim::board_name_from_env() : o.board;
  auto board = sim::SharedBoard::open(name, &error);
  if (!board) {
    std::fprintf(stderr, "placasim: %s\n", error.c_str());
    return kUsageError;
  }
  // Starting a program powers the board on afresh; without one, placasim joins the
  // board as it is, to watch or drive what another placasim started.
  if (!o.command.empty()) {
    const int64_t now = sim::monotonic_ns();
    board->with([&](sim::BoardState& s) { sim::board_reset(s, now); });
  }
  placasim::wire_environment(placasim::driver_directory(), name);
  placasim::catch_stop_requests();
  return o.script.empty() ? panel_mode(o, *board) : script_mode(o, *board);
}
