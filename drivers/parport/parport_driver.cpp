// The port driver "io" on the PC's real parallel ports.
#include "port_driver.h"
#include "ports.h"

namespace {

parport::ParallelPorts& ports() {
  // Never destroyed: other libraries' exit handlers may still reach the port.
  static parport::ParallelPorts* instance = new parport::ParallelPorts(parport::linux_kernel());
  return *instance;
}

}  // namespace

void port_driver::with_bytes(Operation& op) {
  ports().locked([&](port_ops::Bytes& bytes) { op.run(bytes); });
}

bool port_driver::installed() { return ports().installed(); }
