#include <windows.h>

#include "host/stop_signals.h"

namespace placasim {

namespace {

Child* volatile forward_to = nullptr;
volatile LONG stop = 0;

// Runs on a thread of its own. The command shares the console and gets the event
// too; its windows get WM_CLOSE besides, for programs without a console handler.
BOOL WINAPI on_console_event(DWORD) {
  InterlockedExchange(&stop, 1);
  if (Child* command = forward_to) command->signal(0);
  return TRUE;
}

}  // namespace

void catch_stop_signals() { SetConsoleCtrlHandler(on_console_event, TRUE); }
void forward_stop_signals_to(Child* command) { forward_to = command; }
bool stop_requested() { return stop != 0; }

void end_by_stop_signal() {
  // The exit status of a console program ended by Ctrl-C.
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace placasim
