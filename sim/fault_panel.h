// The panel's "Faults" window: an instructor sets and clears faults on the board
// there. It lists the active faults; the student's panel does so only when not in
// instructor mode.
#pragma once

#include "shared_board.h"

class Fl_Double_Window;

namespace placasim {

// Shows the window at x, y; it follows the board until deleted.
Fl_Double_Window* show_fault_window(sim::SharedBoard& board, int x, int y);

}  // namespace placasim
