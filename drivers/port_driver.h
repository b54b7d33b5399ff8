// What a port driver supplies: its byte access and whether it reaches its ports.
// The thirteen entry points are written once, over these two (entry_points.cpp).
#pragma once

#include "port_ops.h"

namespace port_driver {

class Operation {
 public:
  virtual void run(port_ops::Bytes& bytes) = 0;

 protected:
  ~Operation() = default;
};

// Runs op with the driver's bytes, held for the whole of it.
void with_bytes(Operation& op);
// What IsDriverInstalled answers.
bool installed();

}  // namespace port_driver
