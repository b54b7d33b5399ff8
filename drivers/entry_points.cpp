// The thirteen entry points of every "io" built here, each one operation on the
// driver's bytes.
#include <type_traits>
#include <utility>

#include "io_driver.h"
#include "port_driver.h"

namespace {

using port_ops::Bytes;

template <typename F>
auto on_ports(F&& f) {
  using Result = decltype(f(std::declval<Bytes&>()));
  struct Run final : port_driver::Operation {
    explicit Run(F& f) : f(f) {}
    void run(Bytes& bytes) override {
      if constexpr (std::is_void_v<Result>)
        f(bytes);
      else
        result = f(bytes);
    }
    F& f;
    std::conditional_t<std::is_void_v<Result>, int, Result> result{};
  } op(f);
  port_driver::with_bytes(op);
  if constexpr (!std::is_void_v<Result>) return op.result;
}

}  // namespace

void WINAPI PortOut(int32_t port, uint8_t value) {
  on_ports([&](Bytes& b) { b.write(port, value); });
}
void WINAPI PortWordOut(int32_t port, uint16_t value) {
  on_ports([&](Bytes& b) { port_ops::write_word(b, port, value); });
}
void WINAPI PortDWordOut(int32_t port, uint32_t value) {
  on_ports([&](Bytes& b) { port_ops::write_dword(b, port, value); });
}
int8_t WINAPI PortIn(int32_t port) {
  return static_cast<int8_t>(on_ports([&](Bytes& b) { return b.read(port); }));
}
uint16_t WINAPI PortWordIn(int32_t port) {
  return on_ports([&](Bytes& b) { return port_ops::read_word(b, port); });
}
uint32_t WINAPI PortDWordIn(int32_t port) {
  return on_ports([&](Bytes& b) { return port_ops::read_dword(b, port); });
}
void WINAPI SetPortBit(int32_t port, uint8_t bit) {
  on_ports([&](Bytes& b) { port_ops::set_bit(b, port, bit); });
}
void WINAPI ClrPortBit(int32_t port, uint8_t bit) {
  on_ports([&](Bytes& b) { port_ops::clear_bit(b, port, bit); });
}
void WINAPI NotPortBit(int32_t port, uint8_t bit) {
  on_ports([&](Bytes& b) { port_ops::toggle_bit(b, port, bit); });
}
int32_t WINAPI GetPortBit(int32_t port, uint8_t bit) {
  return on_ports([&](Bytes& b) { return port_ops::get_bit(b, port, bit); });
}
int32_t WINAPI RightPortShift(int32_t port, int32_t bit) {
  return on_ports([&](Bytes& b) { return port_ops::shift_right(b, port, bit); });
}
int32_t WINAPI LeftPortShift(int32_t port, int32_t bit) {
  return on_ports([&](Bytes& b) { return port_ops::shift_left(b, port, bit); });
}
int32_t WINAPI IsDriverInstalled(void) { return port_driver::installed() ? 1 : 0; }
