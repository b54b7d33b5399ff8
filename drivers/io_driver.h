// For port-driver libraries: the thirteen entry points every "io" exports, with the
// signatures the board code binds to.
#pragma once

#include <cstdint>

#include "board/io_abi.h"

#ifdef _WIN32
#define IO_EXPORT __declspec(dllexport)
#else
#define IO_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
IO_EXPORT void WINAPI PortOut(int32_t port, uint8_t value);
IO_EXPORT void WINAPI PortWordOut(int32_t port, uint16_t value);
IO_EXPORT void WINAPI PortDWordOut(int32_t port, uint32_t value);
IO_EXPORT int8_t WINAPI PortIn(int32_t port);
IO_EXPORT uint16_t WINAPI PortWordIn(int32_t port);
IO_EXPORT uint32_t WINAPI PortDWordIn(int32_t port);
IO_EXPORT void WINAPI SetPortBit(int32_t port, uint8_t bit);
IO_EXPORT void WINAPI ClrPortBit(int32_t port, uint8_t bit);
IO_EXPORT void WINAPI NotPortBit(int32_t port, uint8_t bit);
IO_EXPORT int32_t WINAPI GetPortBit(int32_t port, uint8_t bit);
IO_EXPORT int32_t WINAPI RightPortShift(int32_t port, int32_t bit);
IO_EXPORT int32_t WINAPI LeftPortShift(int32_t port, int32_t bit);
IO_EXPORT int32_t WINAPI IsDriverInstalled(void);
}

// A driver that drifts from the signatures the board binds to fails to compile.
inline void io_driver_signature_check() {
  [[maybe_unused]] PortOut_t a = &PortOut;
  [[maybe_unused]] PortWordOut_t b = &PortWordOut;
  [[maybe_unused]] PortDWordOut_t c = &PortDWordOut;
  [[maybe_unused]] PortIn_t d = &PortIn;
  [[maybe_unused]] PortWordIn_t e = &PortWordIn;
  [[maybe_unused]] PortDWordIn_t f = &PortDWordIn;
  [[maybe_unused]] SetPortBit_t g = &SetPortBit;
  [[maybe_unused]] ClrPortBit_t h = &ClrPortBit;
  [[maybe_unused]] NotPortBit_t i = &NotPortBit;
  [[maybe_unused]] GetPortBit_t j = &GetPortBit;
  [[maybe_unused]] RightPortShift_t k = &RightPortShift;
  [[maybe_unused]] LeftPortShift_t l = &LeftPortShift;
  [[maybe_unused]] IsDriverInstalled_t m = &IsDriverInstalled;
}
