// Script steps that set and clear faults on the board: "fault ..." and "clear ...".
#pragma once

#include <string>
#include <vector>

#include "board_model.h"

namespace placasim {

struct FaultStep {
  enum What { stuck, chatter, stall, slip, noise, motor, all } what = all;
  bool set = true;    // "fault" sets, "clear" clears
  int number = 0;     // input, floor or analog input
  bool on = false;    // stuck on / off
  double amount = 0;  // chatter seconds, slip fraction, noise amplitude
};

// words[0] is "fault" or "clear"; false with what is wrong (and the usage) in *error.
bool parse_fault_step(const std::vector<std::string>& words, FaultStep* step, std::string* error);
void apply_fault_step(sim::BoardState& board, const FaultStep& step);

}  // namespace placasim
