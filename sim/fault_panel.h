// The Faults window drawn with FLTK, beside the panel; what it does is fault_form's.
#pragma once

#include "shared_board.h"

class Fl_Double_Window;

namespace placasim {

// Shows the window at x, y; it follows the board until deleted.
Fl_Double_Window* show_fault_window(sim::SharedBoard& board, int x, int y);

}  // namespace placasim
