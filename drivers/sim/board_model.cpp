#include "board_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "faults.h"

namespace sim {

namespace {

uint8_t bit_of_input(int n) { return static_cast<uint8_t>(1u << (n - 1)); }

// A cabin position read from shared memory is not trusted: anything outside the
// shaft (or not a number) is put back on the nearest end.
double sane_position(double position) {
  if (!(position >= kBottomFloor)) return kBottomFloor;  // also NaN
  if (position > kTopFloor) return kTopFloor;
  return position;
}

void latch_outputs(BoardState& board, uint8_t value, int64_t now_ns) {
  ++board.output_writes;
  if (value == board.outputs) {
    ++board.output_writes_unchanged;
    return;
  }
  board.outputs = value;
  OutputChange& slot = board.changes[board.changes_total % kChangeHistory];
  slot.time_ns = now_ns;
  slot.position = board.position;
  slot.outputs = value;
  ++board.changes_total;
}

uint8_t status_lines(const BoardState& board) {
  const uint8_t inputs = board_inputs(board);
  switch (board.control) {
    case kControlInputsLow:
      return static_cast<uint8_t>((~inputs & 0x0F) << kStatusShift);
    case kControlInputsHigh:
      return static_cast<uint8_t>((~(inputs >> 4) & 0x0F) << kStatusShift);
    case kControlAnalogLow:
      return static_cast<uint8_t>((board.sample & 0x0F) << kStatusShift);
    case kControlAnalogHigh:
      return static_cast<uint8_t>((board.sample >> 4) << kStatusShift);
    default:
      return kStatusLines;
  }
}

}  // namespace

void board_reset(BoardState& board, int64_t now_ns) {
  const uint64_t power_ons = board.power_ons;
  std::memset(&board, 0, sizeof board);
  board.power_ons = power_ons + 1;
  board.powered_on_ns = now_ns;
  board.updated_ns = now_ns;
  board.position = kBottomFloor;
}

Drive lift_drive(uint8_t outputs) {
  switch (outputs & (kOutputTowardFirst | kOutputTowardTop)) {
    case kOutputTowardFirst: return Drive::toward_first;
    case kOutputTowardTop: return Drive::toward_top;
    default: return Drive::stopped;
  }
}

void board_advance(BoardState& board, int64_t now_ns) {
  board.position = sane_position(board.position);
  if (now_ns <= board.updated_ns) return;
  int64_t elapsed_ns = 0;
  if (__builtin_sub_overflow(now_ns, board.updated_ns, &elapsed_ns)) {
    // A time no process wrote (the segment was forged): start again from now.
    board.updated_ns = now_ns;
    return;
  }
  const double seconds = static_cast<double>(elapsed_ns) / kNanosPerSecond;
  const double travel = seconds / kSecondsPerFloor * motor_speed_factor(board);
  const double from = board.position;
  switch (lift_drive(board.outputs)) {
    case Drive::toward_first: board.position = std::max(kBottomFloor, board.position - travel); break;
    case Drive::toward_top: board.position = std::min(kTopFloor, board.position + travel); break;
    case Drive::stopped: break;
  }
  note_band_entries(board, from, board.updated_ns, board.position, now_ns);
  board.updated_ns = now_ns;
}

bool floor_sensor_active(double position, int floor) {
  if (floor < 1 || floor > kFloors) return false;
  return std::fabs(position - floor) <= kSensorHalfBand;
}

int floor_at(double position) {
  for (int floor = 1; floor <= kFloors; ++floor)
    if (floor_sensor_active(position, floor)) return floor;
  return 0;
}

bool lift_moving(const BoardState& board) {
  if (motor_speed_factor(board) <= 0) return false;
  switch (lift_drive(board.outputs)) {
    case Drive::toward_first: return board.position > kBottomFloor;
    case Drive::toward_top: return board.position < kTopFloor;
    case Drive::stopped: break;
  }
  return false;
}

uint8_t board_inputs(const BoardState& board) {
  uint8_t inputs = board.held_inputs;
  for (int floor = 1; floor <= kFloors; ++floor)
    if (floor_sensor_active(board.position, floor)) inputs |= bit_of_input(kFirstSensorInput + floor - 1);
  return faulty_inputs(board, inputs, board.updated_ns);
}

int analog_channel(uint8_t mask) {
  for (int channel = 1; channel <= kAnalogInputs; ++channel)
    if (mask & (1u << (channel - 1))) return channel;
  return 0;
}

void board_write(BoardState& board, int64_t port, uint8_t value, int64_t now_ns) {
  board_advance(board, now_ns);
  if (port == kDataPort) {
    board.data = value;
    if (board.control == kControlOutputs) latch_outputs(board, value, now_ns);
    if (board.control == kControlSelect) board.channel_mask = value;
  } else if (port == kControlPort) {
    board.control = value;
    if (value == kControlSample) {
      const int channel = analog_channel(board.channel_mask);
      board.sample = channel ? noisy_analog(board, channel, now_ns) : 0;
    }
  }
}

uint8_t board_read(BoardState& board, int64_t port, int64_t now_ns) {
  board_advance(board, now_ns);
  if (port == kDataPort) return board.data;
  if (port == kControlPort) return board.control;
  if (port == kStatusPort) return status_lines(board);
  return kFloatingBus;
}

void board_hold_input(BoardState& board, int n, bool on) {
  if (n < 1 || n > kInputs) return;
  if (on)
    board.held_inputs |= bit_of_input(n);
  else
    board.held_inputs &= static_cast<uint8_t>(~bit_of_input(n));
}

void board_set_analog(BoardState& board, int n, uint8_t value) {
  if (n < 1 || n > kAnalogInputs) return;
  board.analog[n - 1] = value;
}

char motor_state(uint8_t outputs, int motor) {
  if (motor < 1 || motor > kMotors) return 'P';
  // A switch on the pair: g++ 12.2 at -O2 miscompiles comparing the two bits as bools.
  switch ((outputs >> (2 * motor - 2)) & 3u) {
    case 1: return 'I';
    case 2: return 'D';
    default: return 'P';
  }
}

}  // namespace sim
