// Ctrl-C, Ctrl-Break and closing the console ask placasim to end: the command is asked
// to end too (it shares the console, and its windows get WM_CLOSE), and is killed if it
// is still there after the grace period. This build has no panel.
#include <windows.h>

#include <cstdio>

#include "host.h"

namespace placasim {

namespace {

Child* volatile forward_to = nullptr;
volatile int stop = 0;

BOOL WINAPI on_console_event(DWORD) {
  Child* command = forward_to;
  if (!command) return FALSE;  // nothing to wait for: end as usual
  stop = 1;
  command->signal(0);
  return TRUE;
}

}  // namespace

void catch_stop_requests() { SetConsoleCtrlHandler(on_console_event, TRUE); }
void forward_stops_to(Child* command) { forward_to = command; }
bool stop_requested() { return stop != 0; }
void pause_ms(int ms) { Sleep(static_cast<DWORD>(ms)); }

std::optional<int> show_panel(sim::SharedBoard&, Child*, const std::string&) {
  std::fprintf(stderr, "placasim: this build has no panel; running without it\n");
  return std::nullopt;
}

}  // namespace placasim
