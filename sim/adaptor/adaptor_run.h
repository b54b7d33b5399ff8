// placasim's --adaptor: the emulated adaptor powered on with the board, and the
// command pointed at its port. Where placasim is built without it (no simavr, or
// Windows), adaptor_unavailable.cpp says why instead.
#pragma once

#include <memory>
#include <string>

#include "shared_board.h"

namespace placasim {

class AdaptorRun {
 public:
  virtual ~AdaptorRun() = default;
  // Commands started from now on load the serial port driver and find the adaptor's
  // port (PLACAIO_SERIAL); `board` names the board for everything else.
  virtual void wire_commands(const std::string& board) = 0;
  virtual const std::string& port() const = 0;
};

// Empty when this placasim can run the emulated adaptor, else why not.
std::string adaptor_unavailable();
// Null with *error when the firmware cannot run.
std::unique_ptr<AdaptorRun> start_adaptor(const std::string& firmware, sim::SharedBoard& board, std::string* error);

}  // namespace placasim
