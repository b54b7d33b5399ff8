#include "binding_switch.h"

#include <atomic>
#include <type_traits>

#include "board/io.h"

// The link maps every undefined reference to LoadIODLL (mangled) onto the wrapper
// below, and the wrapper's __real_ reference onto the original. The mangled name
// follows from the name and parameters: a change to either must fail here, not leave
// the calls unwrapped.
static_assert(std::is_same_v<decltype(&LoadIODLL), int32_t (*)()>, "_Z9LoadIODLLv in bench/CMakeLists.txt");
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
