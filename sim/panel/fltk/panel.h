// The panel window drawn with FLTK: the shaft with the cabin, call buttons, lamps, LEDs, motors,
// switches and analog sliders, all on the shared board.
#pragma once

#include <X11/Xlib.h>

#include "host/child.h"
#include "panel/panel.h"
#include "shared_board.h"

namespace placasim {

// Runs the panel on an open display as show_panel says, until stopping() holds.
// Beside it the faults window; a broken rule shows as a warning, and the rules broken
// are summed up on standard error at the end.
int run_panel(Display* display, sim::SharedBoard& board, Child* command, const PanelOptions& options,
              bool (*stopping)());
// Answers the window system for up to ms milliseconds, after the panel has closed.
void serve_display(int ms);

}  // namespace placasim
