// Signatures of the port driver's thirteen entry points. The callee removes its
// arguments (WINAPI); every argument fills one 32-bit slot.
#pragma once

#include <cstdint>

#include "win32.h"

extern "C" {
typedef void(WINAPI* PortOut_t)(int32_t puerto, uint8_t valor);
typedef void(WINAPI* PortWordOut_t)(int32_t puerto, uint16_t valor);
typedef void(WINAPI* PortDWordOut_t)(int32_t puerto, uint32_t valor);
// One byte, widened with its sign by the caller.
typedef int8_t(WINAPI* PortIn_t)(int32_t puerto);
typedef uint16_t(WINAPI* PortWordIn_t)(int32_t puerto);
typedef uint32_t(WINAPI* PortDWordIn_t)(int32_t puerto);
typedef void(WINAPI* SetPortBit_t)(int32_t puerto, uint8_t bit);
typedef void(WINAPI* ClrPortBit_t)(int32_t puerto, uint8_t bit);
typedef void(WINAPI* NotPortBit_t)(int32_t puerto, uint8_t bit);
typedef int32_t(WINAPI* GetPortBit_t)(int32_t puerto, uint8_t bit);
// Shift the register one place, bringing in the given bit; the result is the bit shifted out.
typedef int32_t(WINAPI* RightPortShift_t)(int32_t puerto, int32_t bit);
typedef int32_t(WINAPI* LeftPortShift_t)(int32_t puerto, int32_t bit);
typedef int32_t(WINAPI* IsDriverInstalled_t)(void);
}
