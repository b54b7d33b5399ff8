// How placasim is asked to end (SIGINT, SIGTERM, SIGHUP on POSIX; Ctrl-C, Ctrl-Break
// and closing the console on Windows): the request is remembered, and passed on to
// the command it runs. posix/stop_signals.cpp, win32/stop_signals.cpp.
#pragma once

#include "host/child.h"

namespace placasim {

// Catches the stop requests from now on; on POSIX broken pipes are ignored.
void catch_stop_signals();
// Passes later stop requests on to this command (on Windows: asks it to end).
void forward_stop_signals_to(Child* command);
// True once a stop request has come.
bool stop_requested();
// Ends placasim the way the request would have without being caught.
[[noreturn]] void end_by_stop_signal();

}  // namespace placasim
