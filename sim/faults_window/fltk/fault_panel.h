// The Faults window drawn with FLTK, beside the panel; what it does is fault_form's.
#pragma once

#include "shared_board.h"

class Fl_Double_Window;
class Fl_Widget;

namespace placasim {

// Shows the window at x, y; it follows the board until deleted.
Fl_Double_Window* show_fault_window(sim::SharedBoard& board, int x, int y);

// The callback of the panel and of this window: the window manager's close hides the
// window; Escape, which FLTK sends there too, does not (neither opens again).
void close_unless_escape(Fl_Widget* window, void*);

}  // namespace placasim
