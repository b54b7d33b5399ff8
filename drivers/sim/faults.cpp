#include "faults.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sim {

namespace {

// A band entry that never happened: a sensor set to chatter while the cabin stands
// in its band does not bounce until the cabin comes back.
constexpr int64_t kNever = INT64_MIN;

uint8_t bit(int n) { return static_cast<uint8_t>(1u << (n - 1)); }

uint64_t mix(uint64_t x) {  // splitmix64's finaliser: a well spread hash of the clock
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

bool chattering_off(const BoardState& board, int floor, int64_t now_ns) {
  const Faults& f = board.faults;
  if (!(f.chatter & bit(floor))) return false;
  const int64_t entered = f.band_entered_ns[floor - 1];
  int64_t since = 0;
  // Times read from shared memory may be anything: one too far back bounces no more.
  if (entered == kNever || now_ns < entered || __builtin_sub_overflow(now_ns, entered, &since) ||
      since >= f.chatter_ns)
    return false;
  return (since / kChatterStepNs) % 2 == 0;
}

}  // namespace

void fault_stick_input(BoardState& board, int n, bool on) {
  if (n < 1 || n > kInputs) return;
  fault_unstick_input(board, n);
  (on ? board.faults.stuck_on : board.faults.stuck_off) |= bit(n);
}

void fault_unstick_input(BoardState& board, int n) {
  if (n < 1 || n > kInputs) return;
  board.faults.stuck_on &= static_cast<uint8_t>(~bit(n));
  board.faults.stuck_off &= static_cast<uint8_t>(~bit(n));
}

void fault_chatter(BoardState& board, int floor, int64_t duration_ns) {
  if (floor < 1 || floor > kFloors || duration_ns <= 0) return;
  board.faults.chatter |= bit(floor);
  board.faults.chatter_ns = duration_ns;
  board.faults.band_entered_ns[floor - 1] = kNever;
}

void fault_stop_chatter(BoardState& board, int floor) {
  if (floor < 1 || floor > kFloors) return;
  board.faults.chatter &= static_cast<uint8_t>(~bit(floor));
}

void fault_motor(BoardState& board, MotorFault fault, double fraction) {
  board.faults.motor = fault;
  board.faults.slip = fault == MotorFault::slipping ? std::clamp(fraction, 0.0, 1.0) : 1.0;
}

void fault_noise(BoardState& board, int n, int amplitude) {
  if (n < 1 || n > kAnalogInputs) return;
  board.faults.noise[n - 1] = static_cast<uint8_t>(std::clamp(amplitude, 0, kMaxNoise));
}

void faults_clear(BoardState& board) { board.faults = Faults{}; }

uint8_t faulty_inputs(const BoardState& board, uint8_t inputs, int64_t now_ns) {
  for (int floor = 1; floor <= kFloors; ++floor)
    if (chattering_off(board, floor, now_ns)) inputs &= static_cast<uint8_t>(~bit(kFirstSensorInput + floor - 1));
  return static_cast<uint8_t>((inputs & ~board.faults.stuck_off) | board.faults.stuck_on);
}

double motor_speed_factor(const BoardState& board) {
  switch (board.faults.motor) {
    case MotorFault::stalled: return 0.0;
    // Read from shared memory: a value out of range or not a number is taken at its edge.
    case MotorFault::slipping: return board.faults.slip >= 0 ? std::min(board.faults.slip, 1.0) : 0.0;
    case MotorFault::none: break;
  }
  return 1.0;
}

uint8_t noisy_analog(const BoardState& board, int n, int64_t now_ns) {
  if (n < 1 || n > kAnalogInputs) return 0;
  const int value = board.analog[n - 1];
  const int amplitude = board.faults.noise[n - 1];
  if (!amplitude) return static_cast<uint8_t>(value);
  const uint64_t h = mix(static_cast<uint64_t>(now_ns) * 4 + static_cast<uint64_t>(n));
  const int offset = static_cast<int>(h % static_cast<uint64_t>(2 * amplitude + 1)) - amplitude;
  return static_cast<uint8_t>(std::clamp(value + offset, 0, 255));
}

void note_band_entries(BoardState& board, double from, int64_t from_ns, double to, int64_t to_ns) {
  if (to == from) return;
  for (int floor = 1; floor <= kFloors; ++floor) {
    const double edge = to > from ? floor - kSensorHalfBand : floor + kSensorHalfBand;
    const bool crossed = to > from ? (from < edge && to >= edge) : (from > edge && to <= edge);
    if (!crossed) continue;
    const double share = (edge - from) / (to - from);
    // Rounded, not cut: 32-bit x87 arithmetic lands a hair below the exact time.
    board.faults.band_entered_ns[floor - 1] = from_ns + std::llround(share * static_cast<double>(to_ns - from_ns));
  }
}

std::vector<std::string> active_faults(const BoardState& board) {
  const Faults& f = board.faults;
  std::vector<std::string> list;
  char text[80];
  for (int n = 1; n <= kInputs; ++n) {
    if (f.stuck_on & bit(n)) list.push_back("input " + std::to_string(n) + " stuck on");
    else if (f.stuck_off & bit(n)) list.push_back("input " + std::to_string(n) + " stuck off");
  }
  for (int floor = 1; floor <= kFloors; ++floor) {
    if (!(f.chatter & bit(floor))) continue;
    std::snprintf(text, sizeof text, "floor %d sensor chatters for %.2f s", floor,
                  static_cast<double>(f.chatter_ns) / kNanosPerSecond);
    list.push_back(text);
  }
  if (f.motor == MotorFault::stalled) list.push_back("lift motor stalled");
  if (f.motor == MotorFault::slipping) {
    std::snprintf(text, sizeof text, "lift motor slips (%.2f of its speed)", motor_speed_factor(board));
    list.push_back(text);
  }
  for (int n = 1; n <= kAnalogInputs; ++n)
    if (f.noise[n - 1]) list.push_back("analog " + std::to_string(n) + " noise +-" + std::to_string(f.noise[n - 1]));
  return list;
}

}  // namespace sim
