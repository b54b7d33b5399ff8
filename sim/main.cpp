// placasim: the simulated board and lift, with a panel or headless from a script,
// and the command it runs wired to that board.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "host/bounded_screen.h"
#include "adaptor_run.h"
#include "host/host.h"
#include "options.h"
#include "panel/panel.h"
#include "recordings/plot.h"
#include "recordings/vcd.h"
#include "script/script.h"
#include "shared_board.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStopGraceMs = 2000;
constexpr int kFinishPollMs = 10;

// Waits for the command; a stop request gives it kStopGraceMs before it is killed
// (programs using SDL catch the signals and go on).
int finish(placasim::Child& command) {
  int64_t deadline = 0;
  for (;;) {
    // What it started and left behind goes too.
    if (command.poll()) return command.stop(kStopGraceMs);
    const int64_t now = sim::monotonic_ns();
    if (placasim::stop_requested() && !deadline) deadline = now + int64_t{kStopGraceMs} * 1000000;
    if (deadline && now > deadline) command.kill();
    placasim::pass_time(kFinishPollMs);
  }
}

std::string joined(const std::vector<std::string>& words) {
  std::string s;
  for (const auto& w : words) s += (s.empty() ? "" : " ") + w;
  return s;
}

struct Script {
  std::vector<placasim::Step> steps;
  std::ofstream trace_file;
  std::unique_ptr<placasim::VcdRecorder> vcd;
  std::unique_ptr<placasim::PlotRecorder> plot;
};

// Whether two names are one file: the same file where both exist, else the same name.
bool same_file(const std::string& a, const std::string& b) {
  struct stat sa{}, sb{};
  if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_ino != 0)
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  return a == b;
}

// Reads the script, before the board is taken; false after saying why.
bool read_script(const placasim::Options& o, Script* script) {
  std::string error;
  if (!placasim::read_script_file(o.script, &script->steps, &error)) {
    std::fprintf(stderr, "placasim: %s: %s\n", o.script.c_str(), error.c_str());
    return false;
  }
  // An output over the script or over another output would spoil both.
  const std::pair<const char*, const std::string*> files[] = {
      {"--script", &o.script}, {"--trace", &o.trace}, {"--vcd", &o.vcd}, {"--plot", &o.plot}};
  for (std::size_t i = 1; i < std::size(files); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (!files[i].second->empty() && !files[j].second->empty() && same_file(*files[i].second, *files[j].second)) {
        std::fprintf(stderr, "placasim: %s and %s name the same file %s\n", files[j].first, files[i].first,
                     files[i].second->c_str());
        return false;
      }
  return true;
}

// Opens the outputs once the run is accepted, so that a refused one leaves earlier
// outputs as they were; false after saying why.
bool open_outputs(const placasim::Options& o, Script* script) {
  std::string error;
  if (!o.trace.empty()) {
    script->trace_file.open(o.trace);
    if (!script->trace_file) {
      std::fprintf(stderr, "placasim: cannot write the trace %s\n", o.trace.c_str());
      return false;
    }
  }
  if ((!o.vcd.empty() && !(script->vcd = placasim::VcdRecorder::open(o.vcd, &error, o.limits()))) ||
      (!o.plot.empty() && !(script->plot = placasim::PlotRecorder::open(o.plot, o.limits(), &error)))) {
    std::fprintf(stderr, "placasim: %s\n", error.c_str());
    return false;
  }
  return true;
}

// Whether every line of the trace reached its file (or standard output).
bool trace_written(const placasim::Options& o, Script& script) {
  if (o.trace.empty()) return std::cout.flush() && std::fflush(stdout) == 0 && !std::ferror(stdout);
  script.trace_file.close();
  return !script.trace_file.fail();
}

int script_mode(const placasim::Options& o, Script& script, sim::SharedBoard& board,
                std::optional<placasim::Child>& command) {
  std::ostream& trace = o.trace.empty() ? std::cout : script.trace_file;
  // Every run step's shell, so that what each left running is ended with the run.
  std::vector<placasim::Child> shells;
  placasim::RunHooks hooks;
  if (command) hooks.command_ended = [&] { return command->poll(); };
  hooks.start_shell = [&](const std::string& text, std::string* err) {
    auto shell = placasim::Child::start(placasim::shell_command(text), o.trace.empty(), err);
    if (shell) shells.push_back(*shell);
    return shell.has_value();
  };
  hooks.shell_ended = [&] { return shells.back().poll(); };
  hooks.cancelled = placasim::stop_requested;

  if (script.plot) script.plot->name_run(o.script + (command ? " with " + joined(o.command) : ""));
  placasim::Checks checks(o.limits());
  hooks.checks = &checks;
  hooks.strict = o.strict;
  hooks.from_power_on = command.has_value();
  if (script.vcd) hooks.observers.push_back(script.vcd.get());
  if (script.plot) hooks.observers.push_back(script.plot.get());
  const std::unique_ptr<placasim::Screen> screen = placasim::bounded(placasim::system_screen());
  hooks.screen = screen.get();

  std::string failure;
  hooks.failure = &failure;
  placasim::RealClock clock;
  const int result = placasim::run_script(script.steps, board, clock, trace, hooks);
  // Said on the terminal too: the trace may be long, or in a file.
  if (!failure.empty()) std::fprintf(stderr, "placasim: %s: %s\n", o.script.c_str(), failure.c_str());
  for (placasim::Child& shell : shells) shell.stop(kStopGraceMs);
  if (command) command->stop(kStopGraceMs);
  if (!trace_written(o, script)) {
    std::fprintf(stderr, "placasim: the trace %s could not be written in full\n",
                 o.trace.empty() ? "on standard output" : o.trace.c_str());
    return kUsageError;
  }
  if (script.vcd && !script.vcd->finish()) {
    std::fprintf(stderr, "placasim: the waveform %s could not be written in full\n", o.vcd.c_str());
    return kUsageError;
  }
  std::string error;
  if (script.plot && !script.plot->finish(&error)) {
    std::fprintf(stderr, "placasim: %s\n", error.c_str());
    return kUsageError;
  }
  return result;
}

int panel_mode(const placasim::Options& o, sim::SharedBoard& board, std::optional<placasim::Child>& command,
               const placasim::AdaptorRun* adaptor) {
  placasim::PanelOptions options;
  options.command_text = joined(o.command) + (adaptor ? ", through the adaptor on " + adaptor->port() : "");
  options.instructor = o.instructor;
  options.limits = o.limits();
  options.close_with_command = o.close_with_command;
  const std::optional<int> panel = o.panel ? placasim::show_panel(board, command ? &*command : nullptr, options)
                                           : std::nullopt;
  if (panel) {
    if (*panel >= 0) return *panel;
    if (command && !placasim::stop_requested() && !command->poll())
      std::fprintf(stderr, "placasim: panel closed; %s goes on running on the board\n", o.command[0].c_str());
  }
  if (!command) {
    if (placasim::stop_requested()) placasim::end_by_stop_signal();
    return panel ? 0 : kUsageError;
  }
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
  if (o.version) {
    std::puts("placasim " PLACAIO_VERSION);
    return 0;
  }
  if (const std::string why = o.adaptor.empty() ? "" : placasim::adaptor_unavailable(); !why.empty()) {
    std::fprintf(stderr, "placasim: --adaptor: %s\n", why.c_str());
    return kUsageError;
  }
  Script script;
  if (!o.script.empty() && !read_script(o, &script)) return kUsageError;

  const std::string name = o.board.empty() ? sim::board_name_from_env() : o.board;
  auto board = sim::SharedBoard::open(name, &error);
  if (!board) {
    std::fprintf(stderr, "placasim: %s\n", error.c_str());
    return kUsageError;
  }
  std::unique_ptr<placasim::AdaptorRun> adaptor;  // gone before the board it is wired to
  std::optional<placasim::Child> command;
  try {
    // Starting a program powers the board on afresh, which a live run or program
    // on it must not see; without one, placasim joins the board as it is.
    if (!o.command.empty()) {
      std::string holder;
      if (!board->claim_for_run(&holder)) {
        std::fprintf(stderr,
                     "placasim: board \"%s\" is in use by %s; starting %s would power it on afresh under it.\n"
                     "Run it on a board of its own with --board NAME, or join that board without a command "
                     "(placasim --board %s) to watch or drive it.\n",
                     name.c_str(), holder.c_str(), o.command[0].c_str(), name.c_str());
        return kUsageError;
      }
    }
    if (!o.command.empty()) {
      const int64_t now = sim::monotonic_ns();
      board->with([&](sim::BoardState& s) { sim::board_reset(s, now); });
    }
    // Powered on with the board, so that its pins and the board agree from the start.
    if (!o.adaptor.empty() && !(adaptor = placasim::start_adaptor(o.adaptor, *board, &error))) {
      std::fprintf(stderr, "placasim: %s\n", error.c_str());
      return kUsageError;
    }
    if (!o.script.empty() && !open_outputs(o, &script)) return kUsageError;
    if (adaptor) adaptor->wire_commands(name);
    else placasim::wire_environment(placasim::driver_directory(), name);
    placasim::catch_stop_signals();
    if (!o.command.empty()) {
      // A trace on standard output must not get the command's output.
      command = placasim::Child::start(o.command, !o.script.empty() && o.trace.empty(), &error);
      if (!command) {
        std::fprintf(stderr, "placasim: %s\n", error.c_str());
        return kUsageError;
      }
      placasim::forward_stop_signals_to(&*command);
    }
    return o.script.empty() ? panel_mode(o, *board, command, adaptor.get())
                            : script_mode(o, script, *board, command);
  } catch (const sim::BoardLost& e) {
    std::fprintf(stderr, "placasim: %s\n", e.what());
    if (command) command->stop(kStopGraceMs);
    return kUsageError;
  }
}
