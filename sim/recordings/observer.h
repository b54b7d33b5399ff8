// Recordings of a run: each format an Observer of its own (vcd.h, plot.h).
//
// Something that follows a run of the board: the checks, the waveform recorder, the
// timeline. Fed in time order by whoever looks at the board (the script runner).
#pragma once

#include <cstdint>

#include "board_model.h"

namespace placasim {

class Observer {
 public:
  virtual ~Observer() = default;
  // Every output change, in order, with the time and cabin position it happened at.
  virtual void on_change(const sim::OutputChange& change) = 0;
  // The board as seen at now_ns, after the changes up to then.
  virtual void on_look(const sim::BoardState& board, int64_t now_ns) = 0;
};

}  // namespace placasim
