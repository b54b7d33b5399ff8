#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "console.h"

namespace placa::console {

namespace {

std::atomic<bool> stop_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void on_signal(int) { stop_requested.store(true); }

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) == 1; }

bool begin_live_view() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  const char* term = std::getenv("TERM");
  return term == nullptr || std::strcmp(term, "dumb") != 0;
}

const std::atomic<bool>& interrupted() { return stop_requested; }

bool driver_without_board() {
  void* io = dlopen("io.so", RTLD_LAZY | RTLD_NOLOAD);  // only the one the library loaded
  if (!io) return false;
  const auto installed = reinterpret_cast<int32_t (*)()>(dlsym(io, "IsDriverInstalled"));
  const bool without = installed && installed() == 0;
  dlclose(io);
  return without;
}

}  // namespace placa::console
