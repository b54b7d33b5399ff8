// A port driver with PortOut and PortIn only, as some minimal drivers are.
#include <cstdint>

#include "win32.h"

#ifdef _WIN32
#define EXPORT extern "C" __declspec(dllexport)
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
#endif

static uint8_t last_written;

EXPORT void WINAPI PortOut(int32_t, uint8_t value) { last_written = value; }
EXPORT int8_t WINAPI PortIn(int32_t) { return static_cast<int8_t>(last_written); }
