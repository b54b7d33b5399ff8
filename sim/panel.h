// The panel window drawn with FLTK: the shaft with the cabin, call buttons, lamps, LEDs, motors,
// switches and analog sliders, all on the shared board.
#pragma once

#include <X11/Xlib.h>

#include "child.h"
#include "shared_board.h"

namespace placasim {

// Runs the panel on an open display until its window is closed, the command (if
// any) ends, or stopping() holds. Gives the command's exit code once it has ended,
// or -1 when the panel was closed first; the window is gone from the screen then.
int run_panel(Display* display, sim::SharedBoard& board, Child* command, const std::string& command_text,
              bool (*stopping)());
// Answers the window system for up to ms milliseconds, after the panel has closed.
void serve_display(int ms);

}  // namespace placasim
