// The program's entry point on POSIX: hands over to WinMain as Windows would.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "win32.h"

namespace {

// Stands in for the program's module handle: any address unique to the program.
char program_image;

constexpr int kStopSignals[] = {SIGINT, SIGHUP, SIGTERM};

DWORD ctrl_event_of(int signal_number) {
  switch (signal_number) {
    case SIGINT: return CTRL_C_EVENT;
    case SIGHUP: return CTRL_CLOSE_EVENT;
    default: return CTRL_SHUTDOWN_EVENT;
  }
}

[[noreturn]] void end_by(int signal_number) {
  std::signal(signal_number, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal_number);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);
}

// The stop signals come to one thread, as a console's stop requests do on Windows: a
// program with a handler ends its own way (the lift stops its motor first); without
// one, or at a second signal, the program ends as by default. Blocked before any
// other thread starts, so no other thread, nor a handler SDL sets, ever gets them.
void route_stop_signals() {
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal_number : kStopSignals) {
    struct sigaction was{};
    sigaction(signal_number, nullptr, &was);
    if (was.sa_handler != SIG_IGN) sigaddset(&stops, signal_number);  // ignored by whoever started us: leave it so
  }
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  std::thread([stops] {
    bool asked = false;
    for (;;) {
      int signal_number = 0;
      if (sigwait(&stops, &signal_number) != 0) continue;
      const PHANDLER_ROUTINE handler = console_ctrl_handler();
      if (asked || !handler || !handler(ctrl_event_of(signal_number))) end_by(signal_number);
      asked = true;
    }
  }).detach();
}

// Without a display SDL falls back to its text-mode drivers and draws the cabin as
// escape codes on standard output at polling speed. The program's windows need X
// anyway, so only X11 is tried, and no display means the start-up's own refusal.
// A driver the user names (the tests' dummy one) still counts.
void graphical_video_only() { setenv("SDL_VIDEODRIVER", "x11", 0); }

// The arguments after the program's name, joined by spaces, as Windows passes them.
std::string command_line(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " " : "") + std::string(argv[i]);
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  route_stop_signals();
  graphical_video_only();
  std::string line = command_line(argc, argv);
  return WinMain(reinterpret_cast<HINSTANCE>(&program_image), nullptr, line.data(), SW_SHOWDEFAULT);
}
