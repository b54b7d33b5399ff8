#include "host/child.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "shared_board.h"

namespace placasim {

namespace {

constexpr int kExecFailed = 127;
constexpr int kSignalBase = 128;
constexpr int kStopPollMs = 10;

int decode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return kSignalBase + WTERMSIG(status);
  return kExecFailed;
}

// Only the standard three reach a program: the trace, the recordings, the board's
// segment and the display's connection are placasim's.
void close_inherited() {
  if (close_range(3, ~0u, 0) == 0) return;
  const long most = std::min(sysconf(_SC_OPEN_MAX), 65536L);
  for (int fd = 3; fd < most; ++fd) close(fd);
}

// Whether any process of the group that began with the child is left.
bool group_left(pid_t group) { return ::kill(-group, 0) == 0 || errno == EPERM; }

bool has_driver(const std::string& dir) {
  struct stat st{};
  return stat((dir + "/io.so").c_str(), &st) == 0;
}

}  // namespace

// LD_LIBRARY_PATH, which wires programs to the board here, does no harm to a tool.
std::optional<Child> Child::launch(const std::vector<std::string>& argv, bool stdout_to_stderr,
                                   const std::string& dir, bool, std::string* error) {
  if (argv.empty()) {
    *error = "no program to run";
    return std::nullopt;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("cannot start a process: ") + std::strerror(errno);
    return std::nullopt;
  }
  if (pid == 0) {
    // A group of its own, so that stopping it reaches whatever it started in turn.
    setpgid(0, 0);
    if (stdout_to_stderr) dup2(STDERR_FILENO, STDOUT_FILENO);
    close_inherited();
    ::signal(SIGPIPE, SIG_DFL);  // placasim ignores it; an ignored signal would outlive exec
    if (!dir.empty() && chdir(dir.c_str()) != 0) {
      std::fprintf(stderr, "placasim: cannot run %s in %s: %s\n", args[0], dir.c_str(), std::strerror(errno));
      _exit(kExecFailed);
    }
    execvp(args[0], args.data());
    std::fprintf(stderr, "placasim: cannot run %s: %s\n", args[0], std::strerror(errno));
    _exit(kExecFailed);
  }
  setpgid(pid, pid);  // also here: a stop may come before the child has run
  return Child(pid);
}

std::vector<std::string> shell_command(const std::string& text) { return {"/bin/sh", "-c", text}; }

std::optional<int> Child::poll() {
  if (code_) return code_;
  int status = 0;
  const pid_t r = waitpid(static_cast<pid_t>(process_), &status, WNOHANG);
  if (r == static_cast<pid_t>(process_)) code_ = decode(status);
  else if (r < 0 && errno != EINTR) code_ = kExecFailed;  // not our child any more
  return code_;
}

int Child::wait() {
  while (!code_) {
    int status = 0;
    const pid_t r = waitpid(static_cast<pid_t>(process_), &status, 0);
    if (r == static_cast<pid_t>(process_)) code_ = decode(status);
    else if (r < 0 && errno != EINTR) code_ = kExecFailed;
  }
  return *code_;
}

// The whole group: what the program started goes with it, even once it has ended itself.
int Child::stop(int grace_ms) {
  const auto group = static_cast<pid_t>(process_);
  if (!poll() || group_left(group)) ::kill(-group, SIGTERM);
  for (int waited = 0; waited < grace_ms; waited += kStopPollMs) {
    poll();
    if (code_ && !group_left(group)) return *code_;
    usleep(kStopPollMs * 1000);
  }
  ::kill(-group, SIGKILL);
  return wait();
}

void Child::signal(int sig) {
  if (!code_) ::kill(-static_cast<pid_t>(process_), sig);
}

void Child::kill() { signal(SIGKILL); }

namespace {

// In the build tree, bin/../drivers/NAME where it is built; installed, below bin/.
std::string find_driver(const std::string& build_sub, const std::string& installed_sub, const char* fallback) {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) {
    exe[n] = '\0';
    std::string dir(exe);
    dir.erase(dir.find_last_of('/'));
    for (const std::string& sub : {build_sub, installed_sub})
      if (has_driver(dir + sub)) return dir + sub;
  }
  return fallback;
}

}  // namespace

// Installed, the simulated board is the library's default driver.
std::string driver_directory() {
  return find_driver("/../drivers/sim", "/" PLACASIM_INSTALLED_DRIVER_DIR, PLACASIM_DRIVER_DIR);
}

std::string serial_driver_directory() {
  return find_driver("/../drivers/serial", "/" PLACASIM_INSTALLED_DRIVER_DIR "/serial", PLACASIM_SERIAL_DRIVER_DIR);
}

bool is_program(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

std::string find_gnuplot(std::string* missing) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string program = (dir.empty() ? "." : dir) + "/gnuplot";
    if (is_program(program)) return program;
  }
  *missing = "the timeline needs gnuplot, which is not installed (scripts/setup installs it)";
  return "";
}

void wire_environment(const std::string& driver_dir, const std::string& board) {
  const char* old = std::getenv("LD_LIBRARY_PATH");
  std::string path = driver_dir;
  if (old && *old) path += std::string(":") + old;
  setenv("LD_LIBRARY_PATH", path.c_str(), 1);
  setenv(sim::kBoardEnv, board.c_str(), 1);
}

}  // namespace placasim
