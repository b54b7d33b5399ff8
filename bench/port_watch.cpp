#include "port_watch.h"

#include <atomic>
#include <chrono>
#include <type_traits>

#include "board/io.h"

// As for LoadIODLL (binding_switch.cpp): the wrapped mangled name must still be this one.
static_assert(std::is_same_v<decltype(&escribe_puerto), void (*)(int, int)>,
              "_Z14escribe_puertoii in bench/CMakeLists.txt");
static_assert(std::is_same_v<decltype(&lee_puerto), int32_t (*)(int)>, "_Z10lee_puertoi in bench/CMakeLists.txt");
extern "C" void __real__Z14escribe_puertoii(int32_t puerto, int32_t valor);
extern "C" int32_t __real__Z10lee_puertoi(int32_t puerto);

namespace {
std::atomic<bool> watching{false};
std::atomic<uint64_t> count{0};
std::atomic<int32_t> value{0};
std::atomic<int64_t> stamp{0};
std::atomic<uint64_t> reads{0};
}  // namespace

extern "C" int32_t __wrap__Z10lee_puertoi(int32_t puerto) {
  reads.fetch_add(1, std::memory_order_relaxed);
  return __real__Z10lee_puertoi(puerto);
}

extern "C" void __wrap__Z14escribe_puertoii(int32_t puerto, int32_t valor) {
  __real__Z14escribe_puertoii(puerto, valor);
  if (!watching.load(std::memory_order_relaxed) || puerto != REGISTRO_DATOS) return;
  const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
  value.store(valor, std::memory_order_relaxed);
  stamp.store(now, std::memory_order_relaxed);
  count.fetch_add(1, std::memory_order_release);
}

namespace bench {

void watch_data_writes(bool on) { watching.store(on, std::memory_order_relaxed); }

uint64_t reads_counted() { return reads.load(std::memory_order_relaxed); }

DataWrite last_data_write() {
  DataWrite write;
  write.count = count.load(std::memory_order_acquire);
  write.value = value.load(std::memory_order_relaxed);
  write.ns = stamp.load(std::memory_order_relaxed);
  return write;
}

}  // namespace bench
