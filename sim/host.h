// What placasim's main needs from the system besides its children: requests to end
// (signals on POSIX, console control events on Windows), passed on to the command,
// pauses, and the panel where the build has one. host_posix.cpp, host_win32.cpp.
#pragma once

#include <optional>
#include <string>

#include "child.h"
#include "shared_board.h"

namespace placasim {

// From now on a request to end is passed on to *command once forward_stops_to names
// it; before that, it ends placasim as usual.
void catch_stop_requests();
void forward_stops_to(Child* command);
bool stop_requested();

void pause_ms(int ms);

// Shows the panel until it is closed, the command ends or a stop is requested: the
// command's exit code once it ended, -1 when the panel was closed first, nothing when
// no panel could be shown (no display, or none in this build), after saying why.
std::optional<int> show_panel(sim::SharedBoard& board, Child* command, const std::string& command_text);

}  // namespace placasim
