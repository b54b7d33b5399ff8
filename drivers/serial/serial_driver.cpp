// The port driver "io" on the USB adaptor that stands in for a parallel port.
#include "adaptor.h"
#include "port_driver.h"

namespace {

serial::Adaptor& adaptor() {
  // Never destroyed: other libraries' exit handlers may still reach the port.
  static serial::Adaptor* instance = new serial::Adaptor(serial::system_ports());
  return *instance;
}

}  // namespace

void port_driver::with_bytes(Operation& op) {
  adaptor().locked([&](port_ops::Bytes& bytes) { op.run(bytes); });
}

bool port_driver::installed() { return adaptor().installed(); }
