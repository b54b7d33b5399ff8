// How placasim is asked to end (SIGINT, SIGTERM, SIGHUP on POSIX): the request is
// remembered, and passed on to the command it runs.
#pragma once

#include <sys/types.h>

namespace placasim {

// Catches the stop signals from now on; broken pipes are ignored.
void catch_stop_signals();
// Passes later stop signals on to this process.
void forward_stop_signals_to(pid_t pid);
// True once a stop signal has come.
bool stop_requested();
// Ends placasim the way the stop signal would have without being caught.
[[noreturn]] void end_by_stop_signal();

}  // namespace placasim
