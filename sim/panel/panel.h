// The panel: its model, its look, and a folder for each toolkit that draws it.
//
// What placasim's main needs from the window system: the panel where the build has
// one, and passing the time while it waits. fltk/show_panel.cpp, win32/panel.cpp.
#pragma once

#include <optional>
#include <string>

#include "checks/checks.h"
#include "host/child.h"
#include "shared_board.h"

namespace placasim {

struct PanelOptions {
  std::string command_text;  // the command as typed
  // The panel does not name the active faults and the Faults window starts hidden
  // (the student finds them).
  bool instructor = false;
  Limits limits;
  // The panel closes when its command ends; else it stays, showing how it ended.
  bool close_with_command = false;
};

// Shows the panel until it is closed, a stop is requested or (close_with_command) the
// command ends: the command's exit code once it ended, -1 when the panel was closed
// first (the window is gone from the screen then), nothing when no panel could be
// shown (no display, or none in this build), after saying why.
std::optional<int> show_panel(sim::SharedBoard& board, Child* command, const PanelOptions& options);

// Waits ms milliseconds, answering the window system meanwhile once a panel was shown.
void pass_time(int ms);

}  // namespace placasim
