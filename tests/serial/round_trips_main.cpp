// Times the serial driver's two costs, not a test: a streamed write (PortOut) and a
// read's round trip (PortIn), against whatever adaptor PLACAIO_SERIAL names.
//   serial_round_trips DRIVER [WRITES [READS]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "board/io_abi.h"

int main(int argc, char** argv) {
  if (argc < 2) return std::fprintf(stderr, "usage: serial_round_trips DRIVER [WRITES [READS]]\n"), 2;
  const int writes = argc > 2 ? std::atoi(argv[2]) : 100000;
  const int reads = argc > 3 ? std::atoi(argv[3]) : 5000;
  HMODULE driver = LoadLibraryA(argv[1]);
  if (driver == nullptr) return std::fprintf(stderr, "cannot load %s\n", argv[1]), 1;
  auto entry = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(driver, name)); };
  auto out = reinterpret_cast<PortOut_t>(entry("PortOut"));
  auto in = reinterpret_cast<PortIn_t>(entry("PortIn"));
  auto installed = reinterpret_cast<IsDriverInstalled_t>(entry("IsDriverInstalled"));
  if (!out || !in || !installed || !installed()) return std::fprintf(stderr, "no adaptor\n"), 1;
  using Clock = std::chrono::steady_clock;
  // The best of five runs: the machine's other load only ever adds.
  auto best = [](int n, auto&& call) {
    double fastest = 1e9;
    for (int run = 0; run < 5; ++run) {
      const Clock::time_point start = Clock::now();
      for (int i = 0; i < n; ++i) call(i);
      fastest = std::min(fastest, std::chrono::duration<double, std::micro>(Clock::now() - start).count() / n);
    }
    return fastest;
  };
  const double write_us = best(writes, [&](int i) { out(888, static_cast<uint8_t>(i)); });
  const double read_us = best(reads, [&](int) { in(889); });
  std::printf("PortOut %.1f us per call (%d calls), PortIn %.1f us per round trip (%d calls)\n", write_us, writes,
              read_us, reads);
  return 0;
}
