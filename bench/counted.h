// What one call of a primitive or one controller pass makes, counted at run time:
// its binds, and its port reads (each a round trip on the serial adaptor).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "binding_switch.h"
#include "port_watch.h"

namespace bench {

struct PerCall {
  double binds, reads;
};

// f() made `calls` times, counted.
template <typename F>
PerCall counted(int calls, F&& f) {
  BindingScope counting(Binding::count);
  reset_bind_count();
  const uint64_t reads = reads_counted();
  for (int i = 0; i < calls; ++i) f();
  return {static_cast<double>(binds_counted()) / calls, static_cast<double>(reads_counted() - reads) / calls};
}

inline void show(benchmark::State& state, const PerCall& per_call) {
  state.counters["binds"] = per_call.binds;
  state.counters["reads"] = per_call.reads;
}

}  // namespace bench
