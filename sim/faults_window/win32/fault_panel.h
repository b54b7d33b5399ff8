// The Faults window with plain Win32, beside the panel; what it does is fault_form's.
// Its messages come through the panel's message loop.
#pragma once

#include <windows.h>

#include "shared_board.h"

namespace placasim {

// Shows the window with its top-left corner at x, y (activated when asked for), or
// brings it to the front; it follows the board until closed (Escape too), by its user
// or close_fault_window(). False when it cannot be made.
bool show_fault_window(sim::SharedBoard& board, int x, int y, bool activate);
void close_fault_window();
// The window's keys, as in a dialog (Tab and Shift+Tab move between its controls):
// true when msg was for the window and has been handled.
bool fault_window_key(MSG& msg);
// Its outer width, to place it beside the panel.
int fault_window_width();

}  // namespace placasim
