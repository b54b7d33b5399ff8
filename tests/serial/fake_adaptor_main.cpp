// A fake adaptor on a pseudo-terminal, for drivers in other processes (the Windows
// io.dll under Wine, the benchmarks): prints the terminal's path, then answers the
// protocol until a SIGTERM or SIGINT.
//   serial_fake_adaptor [--status N] [--link PATH] [--state FILE]
// --link makes PATH a symbolic link to the terminal (Wine's dosdevices/com5);
// --state rewrites FILE with "data N control N" after each write the host makes.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "adaptor_model.h"

namespace {
volatile std::sig_atomic_t stop = 0;
void on_signal(int) { stop = 1; }
}  // namespace

int main(int argc, char** argv) {
  AdaptorModel model;
  std::string link, state;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--status")) model.status = static_cast<uint8_t>(std::strtol(argv[i + 1], nullptr, 0));
    else if (!std::strcmp(argv[i], "--link")) link = argv[i + 1];
    else if (!std::strcmp(argv[i], "--state")) state = argv[i + 1];
    else return std::fprintf(stderr, "fake adaptor: unknown option %s\n", argv[i]), 2;
  }
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return std::perror("openpty"), 1;
  // The slave stays open here, so the master survives each program closing it.
  const std::string path = ttyname(slave);
  if (!link.empty()) {
    unlink(link.c_str());
    if (symlink(path.c_str(), link.c_str()) != 0) return std::perror("symlink"), 1;
  }
  std::printf("%s\n", path.c_str());
  std::fflush(stdout);

  struct sigaction action {};
  action.sa_handler = on_signal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  int writes = -1;
  while (!stop) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, -1) <= 0 || !(p.revents & POLLIN)) continue;
    uint8_t in[4096];
    const ssize_t n = read(master, in, sizeof in);
    if (n <= 0) continue;
    std::vector<uint8_t> out;
    for (ssize_t i = 0; i < n; ++i) model.take(in[i], out);
    if (!out.empty() && write(master, out.data(), out.size()) < 0) std::perror("write");
    if (!state.empty() && model.writes != writes) {
      writes = model.writes;
      const std::string tmp = state + ".tmp";
      if (FILE* f = std::fopen(tmp.c_str(), "w")) {
        std::fprintf(f, "data %d control %d\n", model.data, model.control);
        std::fclose(f);
        std::rename(tmp.c_str(), state.c_str());
      }
    }
  }
  if (!link.empty()) unlink(link.c_str());
  return 0;
}
