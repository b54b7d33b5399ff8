// The Faults window drawn with FLTK, beside the panel; what it does is fault_form's.
#pragma once

#include "shared_board.h"

class Fl_Double_Window;
class Fl_Widget;

namespace placasim {

// Makes the window at x, y, shown or not yet; it follows the board until deleted.
// Closing it or Escape hides it; the panel shows it again.
Fl_Double_Window* show_fault_window(sim::SharedBoard& board, int x, int y, bool shown);

// Its width, to place it beside the panel.
int fault_window_width();

// The panel's callback: the window manager's close hides the window; Escape, which
// FLTK sends there too, does not.
void close_unless_escape(Fl_Widget* window, void*);

}  // namespace placasim
