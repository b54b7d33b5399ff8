// A program placasim runs: the command wired to the board, or a script's "run" step.
// posix/child.cpp on POSIX, win32/child.cpp on Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace placasim {

class Child {
 public:
  // Starts argv[0] (searched in PATH) with the current environment. With
  // stdout_to_stderr its standard output goes to placasim's standard error, so it
  // cannot mix with a trace on standard output. A program that cannot be started
  // ends at once with code 127.
  static std::optional<Child> start(const std::vector<std::string>& argv, bool stdout_to_stderr,
                                    std::string* error) {
    return launch(argv, stdout_to_stderr, "", true, error);
  }
  // A program placasim uses itself (gnuplot): started in dir, not wired to the board,
  // its standard output on placasim's standard error.
  static std::optional<Child> start_tool(const std::vector<std::string>& argv, const std::string& dir,
                                         std::string* error) {
    return launch(argv, true, dir, false, error);
  }
  // False when the system gave nothing to follow it by, so its end is not known:
  // Wine starting a program of its host system gives no process handle.
  bool followed() const { return process_ != 0 || code_.has_value(); }
  // Its exit code once it has ended (128 + signal when killed by one); no waiting.
  std::optional<int> poll();
  // Waits for the end and gives the exit code.
  int wait();
  // Asks it to end (SIGTERM; on Windows WM_CLOSE to its windows), then kills it if it
  // is still there after grace_ms; gives the exit code.
  int stop(int grace_ms);
  // Passes a stop request on (a signal number on POSIX; on Windows any asks it to end).
  void signal(int sig);
  void kill();
  // The process id on POSIX, the process handle on Windows.
  intptr_t process() const { return process_; }

 private:
  explicit Child(intptr_t process) : process_(process) {}
  // dir: where it runs ("" here); on_board: wired to the board as wire_environment says.
  static std::optional<Child> launch(const std::vector<std::string>& argv, bool stdout_to_stderr,
                                     const std::string& dir, bool on_board, std::string* error);
  intptr_t process_;
  std::optional<int> code_;
};

// Directory of the simulated board's io.so: beside placasim's build output
// (bin/../drivers/sim), else where the build put it.
std::string driver_directory();
// Directory of the serial port driver's io.so, found the same way (POSIX only: the
// emulated adaptor is).
std::string serial_driver_directory();
// Makes every program started after use the simulated board: on POSIX dir goes first
// on LD_LIBRARY_PATH; on Windows dir's io.dll is loaded into each command before it
// runs. Either way PLACASIM_BOARD names the board.
void wire_environment(const std::string& driver_dir, const std::string& board);
// The argument vector of a script's "run" step: /bin/sh -c TEXT, cmd.exe /c TEXT.
std::vector<std::string> shell_command(const std::string& text);
// Names the gnuplot to use instead of the one found (recordings/plot.cpp).
constexpr const char* kGnuplotEnv = "PLACASIM_GNUPLOT";
// Whether path is a file that can be run.
bool is_program(const std::string& path);
// gnuplot where its user installed it: on PATH, else on Windows gnuplot.exe in its
// installer's folder (Program Files\gnuplot\bin). "" when there is none, and *missing
// says what to install.
std::string find_gnuplot(std::string* missing);

}  // namespace placasim
