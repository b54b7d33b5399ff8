// The thirteen entry points of "io" on the PC's real parallel ports.
#include "io_driver.h"
#include "ports.h"

namespace {

parport::ParallelPorts& ports() {
  // Never destroyed: other libraries' exit handlers may still reach the port.
  static parport::ParallelPorts* instance = new parport::ParallelPorts(parport::linux_kernel());
  return *instance;
}

}  // namespace

void WINAPI PortOut(int32_t port, uint8_t value) { ports().write(port, value); }
void WINAPI PortWordOut(int32_t port, uint16_t value) { ports().write_word(port, value); }
void WINAPI PortDWordOut(int32_t port, uint32_t value) { ports().write_dword(port, value); }
int8_t WINAPI PortIn(int32_t port) { return static_cast<int8_t>(ports().read(port)); }
uint16_t WINAPI PortWordIn(int32_t port) { return ports().read_word(port); }
uint32_t WINAPI PortDWordIn(int32_t port) { return ports().read_dword(port); }
void WINAPI SetPortBit(int32_t port, uint8_t bit) { ports().set_bit(port, bit); }
void WINAPI ClrPortBit(int32_t port, uint8_t bit) { ports().clear_bit(port, bit); }
void WINAPI NotPortBit(int32_t port, uint8_t bit) { ports().toggle_bit(port, bit); }
int32_t WINAPI GetPortBit(int32_t port, uint8_t bit) { return ports().get_bit(port, bit); }
int32_t WINAPI RightPortShift(int32_t port, int32_t bit) { return ports().shift_right(port, bit); }
int32_t WINAPI LeftPortShift(int32_t port, int32_t bit) { return ports().shift_left(port, bit); }
int32_t WINAPI IsDriverInstalled(void) { return ports().installed() ? 1 : 0; }
