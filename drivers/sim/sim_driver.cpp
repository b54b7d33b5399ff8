// The port driver "io" of the simulated board: every access goes to the shared board
// named by PLACASIM_BOARD, which the model advances to the present on every access,
// so the lift moves right with or without a panel watching.
#include <atomic>
#include <cstdio>

#include "io_driver.h"
#include "shared_board.h"

namespace {

// What reads answer when the board was refused: no input active.
constexpr uint8_t kDetachedRead = sim::kStatusLines;

void report(const char* error) { std::fprintf(stderr, "io (simulated board): %s\n", error); }

// Set once the board's lock turned out corrupt: from then on the board is refused.
std::atomic<bool> lost{false};

sim::SharedBoard* board() {
  // Never destroyed: exit handlers of the callers may still touch the board.
  static sim::SharedBoard* instance = [] {
    std::string error;
    auto opened = sim::SharedBoard::open(sim::board_name_from_env(), &error);
    if (!opened) report(error.c_str());
    else opened->mark_in_use();
    return opened.release();
  }();
  return lost ? nullptr : instance;
}

template <typename F, typename R>
R on_board(F&& f, R detached) {
  sim::SharedBoard* b = board();
  if (!b) return detached;
  try {
    return b->with([&](sim::BoardState& s) { return f(s, sim::monotonic_ns()); });
  } catch (const sim::BoardLost& e) {
    if (!lost.exchange(true)) report(e.what());
    return detached;
  }
}

template <typename F>
void on_board(F&& f) {
  on_board([&](sim::BoardState& s, int64_t now) { return f(s, now), 0; }, 0);
}

}  // namespace

void WINAPI PortOut(int32_t port, uint8_t value) {
  on_board([&](sim::BoardState& s, int64_t now) { sim::board_write(s, port, value, now); });
}

void WINAPI PortWordOut(int32_t port, uint16_t value) {
  on_board([&](sim::BoardState& s, int64_t now) { sim::board_write_word(s, port, value, now); });
}

void WINAPI PortDWordOut(int32_t port, uint32_t value) {
  on_board([&](sim::BoardState& s, int64_t now) { sim::board_write_dword(s, port, value, now); });
}

int8_t WINAPI PortIn(int32_t port) {
  const uint8_t value =
      on_board([&](sim::BoardState& s, int64_t now) { return sim::board_read(s, port, now); }, kDetachedRead);
  return static_cast<int8_t>(value);
}

uint16_t WINAPI PortWordIn(int32_t port) {
  return on_board([&](sim::BoardState& s, int64_t now) { return sim::board_read_word(s, port, now); },
                  static_cast<uint16_t>(kDetachedRead * 0x0101u));
}

uint32_t WINAPI PortDWordIn(int32_t port) {
  return on_board([&](sim::BoardState& s, int64_t now) { return sim::board_read_dword(s, port, now); },
                  kDetachedRead * 0x01010101u);
}

void WINAPI SetPortBit(int32_t port, uint8_t bit) {
  on_board([&](sim::BoardState& s, int64_t now) { sim::board_set_bit(s, port, bit, now); });
}

void WINAPI ClrPortBit(int32_t port, uint8_t bit) {
  on_board([&](sim::BoardState& s, int64_t now) { sim::board_clear_bit(s, port, bit, now); });
}

void WINAPI NotPortBit(int32_t port, uint8_t bit) {
  on_board([&](sim::BoardState& s, int64_t now) { sim::board_toggle_bit(s, port, bit, now); });
}

int32_t WINAPI GetPortBit(int32_t port, uint8_t bit) {
  return on_board([&](sim::BoardState& s, int64_t now) { return sim::board_get_bit(s, port, bit, now); },
                  int32_t{(kDetachedRead >> (bit & 7)) & 1} * (bit < 8));
}

int32_t WINAPI RightPortShift(int32_t port, int32_t bit) {
  return on_board([&](sim::BoardState& s, int64_t now) { return sim::board_shift_right(s, port, bit, now); },
                  int32_t{0});
}

int32_t WINAPI LeftPortShift(int32_t port, int32_t bit) {
  return on_board([&](sim::BoardState& s, int64_t now) { return sim::board_shift_left(s, port, bit, now); },
                  int32_t{0});
}

// 1 once the board is attached; 0 when its segment was refused or its lock found corrupt.
int32_t WINAPI IsDriverInstalled(void) { return board() ? 1 : 0; }
