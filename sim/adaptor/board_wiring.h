// The emulated adaptor's pins on the shared board: what a PC's port would do to it.
#pragma once

#include <atomic>

#include "emulated_adaptor.h"
#include "shared_board.h"

namespace placasim {

class BoardWiring final : public AdaptorWiring {
 public:
  explicit BoardWiring(sim::SharedBoard& board) : board_(board) {}
  void write(int offset, uint8_t value) override;
  uint8_t status() override;
  // The board drives only its four status lines.
  uint8_t open_lines() override { return static_cast<uint8_t>(~sim::kStatusLines); }

 private:
  // A lost board is said once; the rest of placasim finds out for itself and ends.
  void lost(const sim::BoardLost& e);

  sim::SharedBoard& board_;
  std::atomic<bool> lost_{false};
};

}  // namespace placasim
