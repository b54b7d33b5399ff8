// A program placasim runs: the command wired to the board, or a script's "run" step.
#pragma once

#include <sys/types.h>

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
                                    std::string* error);
  // Its exit code once it has ended (128 + signal when killed by one); no waiting.
  std::optional<int> poll();
  // Waits for the end and gives the exit code.
  int wait();
  // SIGTERM, then SIGKILL if it is still there after grace_ms; gives the exit code.
  int stop(int grace_ms);
  void signal(int sig);
  pid_t pid() const { return pid_; }

 private:
  explicit Child(pid_t pid) : pid_(pid) {}
  pid_t pid_;
  std::optional<int> code_;
};

// Directory of the simulated board's io.so: beside placasim's build output
// (bin/../drivers/sim), else where the build put it.
std::string driver_directory();
// Prepends dir to LD_LIBRARY_PATH and names the board, for every program started after.
void wire_environment(const std::string& driver_dir, const std::string& board);

}  // namespace placasim
