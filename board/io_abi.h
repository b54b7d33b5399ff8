// The port driver's thirteen entry points, listed once. The callee removes its
// arguments (WINAPI); every argument fills one 32-bit slot.
#pragma once

#include <cstdint>

#include "win32.h"

// X(name, result, parameters), in the order the binding resolves them. PortIn's byte
// is widened with its sign by the caller; the shifts bring in the given bit and
// return the bit shifted out.
#define IO_ENTRY_POINTS(X)                                         \
  X(PortOut, void, (int32_t puerto, uint8_t valor))                \
  X(PortWordOut, void, (int32_t puerto, uint16_t valor))           \
  X(PortDWordOut, void, (int32_t puerto, uint32_t valor))          \
  X(PortIn, int8_t, (int32_t puerto))                              \
  X(PortWordIn, uint16_t, (int32_t puerto))                        \
  X(PortDWordIn, uint32_t, (int32_t puerto))                       \
  X(SetPortBit, void, (int32_t puerto, uint8_t bit))               \
  X(ClrPortBit, void, (int32_t puerto, uint8_t bit))               \
  X(NotPortBit, void, (int32_t puerto, uint8_t bit))               \
  X(GetPortBit, int32_t, (int32_t puerto, uint8_t bit))            \
  X(RightPortShift, int32_t, (int32_t puerto, int32_t bit))        \
  X(LeftPortShift, int32_t, (int32_t puerto, int32_t bit))         \
  X(IsDriverInstalled, int32_t, (void))

// One pointer type per entry point: PortOut_t, PortIn_t, ...
extern "C" {
#define IO_ENTRY_POINT_TYPE(name, result, parameters) typedef result(WINAPI* name##_t) parameters;
IO_ENTRY_POINTS(IO_ENTRY_POINT_TYPE)
#undef IO_ENTRY_POINT_TYPE
}
