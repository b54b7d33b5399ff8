// The panel window drawn with FLTK: the shaft with the cabin, call buttons, lamps, LEDs, motors,
// switches and analog sliders, all on the shared board.
#pragma once

#include <X11/Xlib.h>

#include "host/child.h"
#include "shared_board.h"

namespace placasim {

// Runs the panel on an open display until its window is closed, the command (if
// any) ends, or stopping() holds. Gives the command's exit code once it has ended,
// or -1 when the panel was closed first; the window is gone from the screen then.
// Beside it the faults window; with instructor, the panel itself does not name the
// active faults. A broken rule shows as a warning, and the rules broken are summed up
// on standard error at the end.
int run_panel(Display* display, sim::SharedBoard& board, Child* command, const std::string& command_text,
              bool (*stopping)(), bool instructor);
// Answers the window system for up to ms milliseconds, after the panel has closed.
void serve_display(int ms);

}  // namespace placasim
