#include "host/stop_signals.h"

#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace placasim {

namespace {

volatile sig_atomic_t forward_to = 0;
volatile sig_atomic_t stop_signal = 0;

void on_stop_signal(int sig) {
  stop_signal = sig;
  if (forward_to > 0) kill(-forward_to, sig);  // the command leads a group of its own
}

}  // namespace

void catch_stop_signals() {
  struct sigaction sa{};
  sa.sa_handler = on_stop_signal;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

void forward_stop_signals_to(Child* command) { forward_to = static_cast<sig_atomic_t>(command->process()); }

bool stop_requested() { return stop_signal != 0; }

void end_by_stop_signal() {
  const int sig = stop_signal ? stop_signal : SIGTERM;
  signal(sig, SIG_DFL);
  raise(sig);
  _exit(128 + sig);
}

}  // namespace placasim
