// The controller: passes with the cabin idle and at rest at its target floor (where
// every pass shows the picture again), the reaction to an input change, and the
// resident size across many arrival displays.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "SDL.h"
#include "bench_main.h"
#include "binding_switch.h"
#include "board/io.h"
#include "controlador.h"
#include "counted.h"
#include "driver.h"
#include "port_watch.h"
#include "rss.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kNoInput = 0;
constexpr uint8_t kAtFloor1 = 8;     // floor sensor 1 alone
constexpr uint8_t kCallFloor3 = 4;   // call button 3 alone: start toward floor 3
constexpr int kCountingPasses = 100;
constexpr int kReactionSamples = 1000;
constexpr int kWarmUpDisplays = 10000;  // past the recording driver's first log cycles
constexpr int kDisplays = 100000;
constexpr int64_t kGiveUpNs = 5'000'000'000;
constexpr auto kPollGap = std::chrono::microseconds(20);

struct Scene {
  uint8_t inputs;
  int32_t destino;
};
constexpr Scene kIdle{kNoInput, PISO_BAJO};
constexpr Scene kAtRest{kAtFloor1, PISO_BAJO};

void enter(const Scene& scene) {
  dato = MODO_SIN_MEMORIA;
  lacabinasemueve = 0;
  motor = MOTOR_PARADO;
  Driver::current().present(scene.inputs);
  Driver::current().forget();
}

PerCall counted_per_pass(const Scene& scene) {
  enter(scene);
  int32_t destino = scene.destino;
  Cola *primero = nullptr, *ultimo = nullptr;
  return counted(kCountingPasses, [&] { Comprobar_Pasada(&destino, &primero, &ultimo); });
}

void passes(benchmark::State& state, Scene scene, Binding mode) {
  Driver& driver = Driver::current();
  enter(scene);
  int32_t destino = scene.destino;
  Cola *primero = nullptr, *ultimo = nullptr;
  BindingScope scope(mode);
  for (auto _ : state) {
    Comprobar_Pasada(&destino, &primero, &ultimo);
    driver.tick();
  }
  state.SetItemsProcessed(state.iterations());
}

// leedigital's port traffic, and encender's when the pass stops the cabin.
void bare_passes(benchmark::State& state, Scene scene, bool stops) {
  Driver& driver = Driver::current();
  enter(scene);
  volatile int32_t sink = 0;
  for (auto _ : state) {
    PortOut(REGISTRO_CONTROL, CONTROL_ENTRADAS_BAJAS);
    sink = PortIn(REGISTRO_ESTADO);
    PortOut(REGISTRO_CONTROL, CONTROL_ENTRADAS_ALTAS);
    sink = PortIn(REGISTRO_ESTADO);
    if (stops) {
      PortOut(REGISTRO_CONTROL, CONTROL_SALIDAS);
      PortOut(REGISTRO_DATOS, MOTOR_PARADO);
    }
    driver.tick();
  }
  static_cast<void>(sink);
  state.SetItemsProcessed(state.iterations());
}

// As the panels' stop buttons do it, from this thread.
void stop_cabin() {
  motor = MOTOR_PARADO;
  lacabinasemueve = 0;
  encender(MOTOR_PARADO);
}

// Waits until the controller has begun `passes` more passes, each of which binds
// once as it reads the inputs (a start binds once more). Only the controller binds
// meanwhile.
void await_passes(uint64_t passes) {
  const uint64_t until = binds_counted() + passes;
  while (binds_counted() < until) std::this_thread::sleep_for(kPollGap);
}

int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The controller thread runs as in the program. This thread changes the input and then
// sleeps until the motor byte has been stamped on its way back from the driver, so it
// neither takes a processor from the controller nor contends for the driver's lock.
void reaction(benchmark::State& state) {
  Driver& driver = Driver::current();
  enter(kIdle);
  stop_cabin();
  // Counting tells when a pass that read the released button has ended.
  BindingScope counting(Binding::count);
  watch_data_writes(true);
  HANDLE thread = CreateThread(nullptr, 0, Comprobar_Sensor, nullptr, 0, nullptr);
  if (thread == nullptr) {
    state.SkipWithError("no controller thread");
    watch_data_writes(false);
    return;
  }
  std::vector<double> samples;
  samples.reserve(kReactionSamples);
  for (auto _ : state) {
    const uint64_t before = last_data_write().count;
    const int64_t start = now_ns();  // so the figure includes making the change
    driver.present(kCallFloor3);
    DataWrite write = last_data_write();
    while (!(write.count != before && write.value == MOTOR_HACIA_PISO_3) && now_ns() - start < kGiveUpNs) {
      std::this_thread::sleep_for(kPollGap);
      write = last_data_write();
    }
    if (write.count == before || write.value != MOTOR_HACIA_PISO_3) {
      state.SkipWithError("the motor byte never reached the driver");
      break;
    }
    const double ns = static_cast<double>(write.ns - start);
    state.SetIterationTime(ns / 1e9);
    samples.push_back(ns);
    // Release the button and let a whole pass see that before stopping the cabin: a
    // pass that had read the call would otherwise start it again after the stop.
    driver.present(kNoInput);
    await_passes(3);
    stop_cabin();
    driver.forget();
  }
  pedir_parada_controlador();
  esperar_fin_controlador(INFINITE);
  CloseHandle(thread);
  watch_data_writes(false);
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  state.counters["p50_ns"] = samples[samples.size() / 2];
  state.counters["p90_ns"] = samples[samples.size() * 9 / 10];
  state.counters["max_ns"] = samples.back();
  state.counters["samples"] = static_cast<double>(samples.size());
}

// The same on one thread: the pass that reads the call and writes the motor byte.
void reaction_in_pass(benchmark::State& state) {
  Driver& driver = Driver::current();
  enter(kIdle);
  int32_t destino = PISO_BAJO;
  Cola *primero = nullptr, *ultimo = nullptr;
  for (auto _ : state) {
    driver.present(kCallFloor3);
    const auto start = Clock::now();
    Comprobar_Pasada(&destino, &primero, &ultimo);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (driver.data_register() != MOTOR_HACIA_PISO_3) {
      state.SkipWithError("the pass did not start the motor");
      break;
    }
    driver.present(kNoInput);
    stop_cabin();
    driver.tick();
  }
}

void memory(benchmark::State& state) {
  Driver& driver = Driver::current();
  for (auto _ : state) {
    enter(kAtRest);
    int32_t destino = kAtRest.destino;
    Cola *primero = nullptr, *ultimo = nullptr;
    for (int i = 0; i < kWarmUpDisplays; ++i) {
      Comprobar_Pasada(&destino, &primero, &ultimo);
      driver.tick();
    }
    const long before = resident_kb().value_or(-1);
    for (int i = 0; i < kDisplays; ++i) {
      Comprobar_Pasada(&destino, &primero, &ultimo);
      driver.tick();
    }
    const long after = resident_kb().value_or(-1);
    state.counters["rss_before_kB"] = static_cast<double>(before);
    state.counters["rss_after_kB"] = static_cast<double>(after);
    state.counters["displays"] = kDisplays;
  }
}

}  // namespace

const char* program_name() { return "lift"; }

void register_benchmarks(Driver& driver) {
  // The pictures are read from the working directory.
  if (chdir(BENCH_PICTURES_DIR) != 0) std::perror("bench: " BENCH_PICTURES_DIR);
  if (SDL_Init(SDL_INIT_VIDEO) != 0) std::fprintf(stderr, "bench: SDL_Init: %s\n", SDL_GetError());
  if (!driver.can_present()) {
    std::fprintf(stderr, "bench: driver %s cannot be given inputs; no controller benchmarks\n",
                 driver.name().c_str());
    return;
  }
  const PerCall idle = counted_per_pass(kIdle), rest = counted_per_pass(kAtRest);
  benchmark::RegisterBenchmark("pass_idle/call", [idle](benchmark::State& state) {
    passes(state, kIdle, Binding::bind);
    show(state, idle);
  });
  benchmark::RegisterBenchmark("pass_idle/unbound",
                               [](benchmark::State& state) { passes(state, kIdle, Binding::skip); });
  benchmark::RegisterBenchmark("pass_idle/bare",
                               [](benchmark::State& state) { bare_passes(state, kIdle, false); });
  benchmark::RegisterBenchmark("pass_at_rest/call", [rest](benchmark::State& state) {
    passes(state, kAtRest, Binding::bind);
    show(state, rest);
  });
  benchmark::RegisterBenchmark("pass_at_rest/unbound",
                               [](benchmark::State& state) { passes(state, kAtRest, Binding::skip); });
  benchmark::RegisterBenchmark("pass_at_rest/bare",
                               [](benchmark::State& state) { bare_passes(state, kAtRest, true); });
  benchmark::RegisterBenchmark("reaction/threaded", reaction)
      ->Iterations(kReactionSamples)
      ->Repetitions(1)
      ->UseManualTime();
  benchmark::RegisterBenchmark("reaction/in_pass", reaction_in_pass)->UseManualTime();
  benchmark::RegisterBenchmark("memory/arrival_displays", memory)->Iterations(1)->Repetitions(1);
}

void finish() { SDL_Quit(); }

}  // namespace bench
