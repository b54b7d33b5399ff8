// A port driver with PortOut and PortIn only, as some minimal drivers are.
#include "io_driver.h"

static uint8_t last_written;

void WINAPI PortOut(int32_t, uint8_t value) { last_written = value; }
int8_t WINAPI PortIn(int32_t) { return static_cast<int8_t>(last_written); }
