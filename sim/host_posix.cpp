#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "host.h"
#include "panel.h"

namespace placasim {

namespace {

volatile sig_atomic_t forward_to = 0;
volatile int stop = 0;

// Passed on to the command; programs that catch it and go on (SDL turns it into a
// quit event that nobody may read) are killed after a grace period.
void forward(int sig) {
  if (forward_to > 0) {
    stop = 1;
    kill(forward_to, sig);
  } else {
    signal(sig, SIG_DFL);
    raise(sig);
  }
}

}  // namespace

void catch_stop_requests() {
  struct sigaction sa{};
  sa.sa_handler = forward;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

void forward_stops_to(Child* command) { forward_to = static_cast<sig_atomic_t>(command->process()); }
bool stop_requested() { return stop != 0; }
void pause_ms(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

std::optional<int> show_panel(sim::SharedBoard& board, Child* command, const std::string& command_text) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "placasim: no display; running without the panel\n");
    return std::nullopt;
  }
  return run_panel(display, board, command, command_text, &stop);
}

}  // namespace placasim
