// The platform's main, seen from outside: what it hands to WinMain, what it returns,
// and that the usual signals still end the program once SDL is up.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace {

struct ProbeRun {
  std::string output;
  int status = 0;
};

// Starts the probe with `args`, with SDL when `sdl`; `signal_after_ready` is sent once
// it prints a line.
ProbeRun Probe(const std::vector<std::string>& args, bool sdl = false,
               int signal_after_ready = 0) {
  ProbeRun run;
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<std::string> all{"./winmain_probe"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
  std::string sdl_variable = "WINMAIN_PROBE_SDL=1";
  if (sdl) env.push_back(sdl_variable.data());
  env.push_back(nullptr);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (failed) {
    close(pipe_fds[0]);
    return run;
  }
  char buffer[256];
  for (ssize_t n; (n = read(pipe_fds[0], buffer, sizeof buffer)) > 0;) {
    run.output.append(buffer, static_cast<size_t>(n));
    if (signal_after_ready && run.output.find('\n') != std::string::npos) {
      kill(pid, signal_after_ready);
      signal_after_ready = 0;
    }
  }
  close(pipe_fds[0]);
  waitpid(pid, &run.status, 0);
  return run;
}

// As on Windows, WinMain gets the arguments after the program's name as one line.
TEST(PlatformMain, HandsWinMainTheArgumentsAsOneLineAndTheDefaultShowState) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> runs{
      {{}, "[]"}, {{"--version"}, "[--version]"}, {{"plain", "two words", ""}, "[plain two words ]"}};
  for (const auto& [args, line] : runs) {
    const ProbeRun run = Probe(args);
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(WEXITSTATUS(run.status), 7) << "WinMain's result is the exit code";
    EXPECT_EQ(run.output, "instance=set previous=null show=10\n" + line + "\n");
  }
}

TEST(PlatformMain, TerminationSignalsStillEndTheProgramOnceSdlIsUp) {
  for (int sig : {SIGTERM, SIGINT}) {
    const ProbeRun run = Probe({}, true, sig);
    ASSERT_EQ(run.output, "ready\n");
    ASSERT_TRUE(WIFSIGNALED(run.status)) << "signal " << sig << " was swallowed";
    EXPECT_EQ(WTERMSIG(run.status), sig);
  }
}

}  // namespace
