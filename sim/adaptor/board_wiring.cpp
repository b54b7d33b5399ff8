#include "board_wiring.h"

#include <cstdio>

namespace placasim {

void BoardWiring::write(int offset, uint8_t value) {
  if (lost_) return;
  try {
    board_.with([&](sim::BoardState& s) { sim::board_write(s, sim::kDataPort + offset, value, sim::monotonic_ns()); });
  } catch (const sim::BoardLost& e) {
    lost(e);
  }
}

uint8_t BoardWiring::status() {
  if (!lost_) {
    try {
      return board_.with([](sim::BoardState& s) { return sim::board_read(s, sim::kStatusPort, sim::monotonic_ns()); });
    } catch (const sim::BoardLost& e) {
      lost(e);
    }
  }
  return sim::kStatusLines;  // nothing on
}

void BoardWiring::lost(const sim::BoardLost& e) {
  if (!lost_.exchange(true)) std::fprintf(stderr, "placasim: the adaptor lost the board: %s\n", e.what());
}

}  // namespace placasim
