// A program run by a test, as a user would run it: its exit code and what it wrote.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>

struct ProgramOutput {
  int code;
  std::string out, err;
};

inline std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// As a shell reports it: the exit code, or 128 + the signal that ended the program.
inline int exit_code_of(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// Waits for the child; -1 when it cannot be waited for.
inline int wait_exit_code(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return exit_code_of(status);
}
