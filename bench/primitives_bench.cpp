// The binding alone, and each primitive three ways: as built, with binding skipped,
// and as the bare port traffic it needs.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_main.h"
#include "binding_switch.h"
#include "board/io.h"
#include "driver.h"
#include "counted.h"
#include "primitive_cases.h"

namespace bench {

namespace {

constexpr int kCountingCalls = 100;

PerCall counted_per_call(const PrimitiveCase& c) {
  c.prepare();
  return counted(kCountingCalls, c.call);
}

void run(benchmark::State& state, void (*prepare)(), void (*body)(), Binding mode) {
  Driver& driver = Driver::current();
  prepare();
  driver.forget();
  BindingScope scope(mode);
  for (auto _ : state) {
    body();
    driver.tick();
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

const char* program_name() { return "primitives"; }

void register_benchmarks(Driver& driver) {
  benchmark::RegisterBenchmark("LoadIODLL/alone", [](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(bind_for_real());
  });
  // The same through the switch every primitive goes through: its own cost.
  benchmark::RegisterBenchmark("LoadIODLL/switched", [](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(LoadIODLL());
  });
  if (!driver.bound()) return;  // without a driver only the failing bind is worth timing
  for (const PrimitiveCase& c : primitive_cases()) {
    const std::string name = c.name;
    const PerCall counts = counted_per_call(c);
    benchmark::RegisterBenchmark((name + "/call").c_str(), [c, counts](benchmark::State& state) {
      run(state, c.prepare, c.call, Binding::bind);
      show(state, counts);
    });
    benchmark::RegisterBenchmark((name + "/unbound").c_str(), [c](benchmark::State& state) {
      run(state, c.prepare, c.call, Binding::skip);
    });
    if (c.bare != nullptr)
      benchmark::RegisterBenchmark((name + "/bare").c_str(), [c](benchmark::State& state) {
        run(state, c.prepare, c.bare, Binding::bind);
      });
  }
}

void finish() {}

}  // namespace bench
