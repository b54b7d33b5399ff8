#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "shared_board.h"
#include "simulated_board/os_helpers.h"

extern char** environ;

namespace simtest {

int process_id() { return static_cast<int>(getpid()); }
void set_env(const char* name, const char* value) { setenv(name, value, 1); }
void unset_env(const char* name) { unsetenv(name); }

bool forge_segment(const std::string& name, const std::vector<unsigned char>& bytes) {
  const int fd = shm_open(sim::segment_path(name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return false;
  bool ok = ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
  // A zero-length segment is one whose maker has not sized it yet.
  if (ok && !bytes.empty()) ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  close(fd);
  return ok;
}

bool patch_segment(const std::string& name, std::size_t offset, const void* bytes, std::size_t size) {
  const int fd = shm_open(sim::segment_path(name).c_str(), O_RDWR, 0);
  if (fd < 0) return false;
  const bool ok = pwrite(fd, bytes, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
  close(fd);
  return ok;
}

int64_t segment_size(const std::string& name) {
  const int fd = shm_open(sim::segment_path(name).c_str(), O_RDONLY, 0);
  if (fd < 0) return -1;
  struct stat st{};
  const int r = fstat(fd, &st);
  close(fd);
  return r == 0 ? st.st_size : -1;
}

void drop_segment(const std::string& name) { sim::SharedBoard::remove(name); }

Process spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  return posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0 ? pid : -1;
}

int wait_for(Process process) {
  int status = 0;
  if (process < 0 || waitpid(static_cast<pid_t>(process), &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int pid_of(Process process) { return static_cast<int>(process); }
void kill(Process process) { ::kill(static_cast<pid_t>(process), SIGKILL); }

bool wait_for_file(const std::string& path, int timeout_ms) {
  for (int waited = 0; access(path.c_str(), F_OK) != 0; waited += 10) {
    if (waited >= timeout_ms) return false;
    usleep(10 * 1000);
  }
  return true;
}

}  // namespace simtest
