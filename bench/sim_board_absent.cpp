// Where the simulator is not built: no simulated board to set inputs on.
#include "driver.h"

namespace bench {
bool sim_attach() { return false; }
void sim_present(uint8_t) {}
void sim_release(bool) {}
}  // namespace bench
