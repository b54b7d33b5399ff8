// The C runtime's sleep, which counts whole seconds. Both the POSIX C library and
// the mingw-w64 runtime offer it; 0 yields the processor and returns.
#pragma once

#include <cstdint>

void sleep_whole_seconds(uint32_t seconds);
