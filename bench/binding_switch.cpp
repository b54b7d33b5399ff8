#include "binding_switch.h"

#include <atomic>

// The link maps every undefined reference to LoadIODLL (mangled) onto the wrapper
// below, and the wrapper's __real_ reference onto the original.
extern "C" int32_t __real__Z9LoadIODLLv();

namespace {
std::atomic<bench::Binding> mode{bench::Binding::bind};
std::atomic<uint64_t> counted{0};
}  // namespace

extern "C" int32_t __wrap__Z9LoadIODLLv() {
  switch (mode.load(std::memory_order_relaxed)) {
    case bench::Binding::bind:
      return __real__Z9LoadIODLLv();
    case bench::Binding::count:
      counted.fetch_add(1, std::memory_order_relaxed);
      return __real__Z9LoadIODLLv();
    case bench::Binding::skip:
      break;
  }
  return 0;
}

namespace bench {

void set_binding(Binding m) { mode.store(m, std::memory_order_relaxed); }
Binding binding() { return mode.load(std::memory_order_relaxed); }
uint64_t binds_counted() { return counted.load(std::memory_order_relaxed); }
void reset_bind_count() { counted.store(0, std::memory_order_relaxed); }
int32_t bind_for_real() { return __real__Z9LoadIODLLv(); }

}  // namespace bench
