// The panel: its model, its look, and a folder for each toolkit that draws it.
//
// What placasim's main needs from the window system: the panel where the build has
// one, and passing the time while it waits. fltk/show_panel.cpp, win32/panel.cpp.
#pragma once

#include <optional>
#include <string>

#include "host/child.h"
#include "shared_board.h"

namespace placasim {

// Shows the panel until it is closed, the command ends or a stop is requested: the
// command's exit code once it ended, -1 when the panel was closed first (the window
// is gone from the screen then), nothing when no panel could be shown (no display,
// or none in this build), after saying why. With instructor, the panel does not name
// the active faults (the student finds them).
std::optional<int> show_panel(sim::SharedBoard& board, Child* command, const std::string& command_text,
                              bool instructor);

// Waits ms milliseconds, answering the window system meanwhile once a panel was shown.
void pass_time(int ms);

}  // namespace placasim
