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

bool valid_bit(int bit) { return bit >= 0 && bit < 8; }

// Read-modify-write of one port; the status register takes no writes, so a bit
// operation on it changes nothing.
template <typename F>
void modify(BoardState& board, int32_t port, int64_t now_ns, F change) {
  const uint8_t old_value = board_read(board, port, now_ns);
  board_write(board, port, change(old_value), now_ns);
}

}  // namespace

void board_reset(BoardState& board, int64_t now_ns) {
  std::memset(&board, 0, sizeof board);
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
  const double seconds = static_cast<double>(now_ns - board.updated_ns) / kNanosPerSecond;
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

void board_write(BoardState& board, int32_t port, uint8_t value, int64_t now_ns) {
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

uint8_t board_read(BoardState& board, int32_t port, int64_t now_ns) {
  board_advance(board, now_ns);
  if (port == kDataPort) return board.data;
  if (port == kControlPort) return board.control;
  if (port == kStatusPort) return status_lines(board);
  return kFloatingBus;
}

// The i-th port after `port`; past the top of the address range there is no register.
static int32_t port_after(int32_t port, int i) {
  const int64_t next = static_cast<int64_t>(port) + i;
  return next > INT32_MAX ? -1 : static_cast<int32_t>(next);
}

void board_write_word(BoardState& board, int32_t port, uint16_t value, int64_t now_ns) {
  for (int i = 0; i < 2; ++i) board_write(board, port_after(port, i), static_cast<uint8_t>(value >> (8 * i)), now_ns);
}

void board_write_dword(BoardState& board, int32_t port, uint32_t value, int64_t now_ns) {
  for (int i = 0; i < 4; ++i) board_write(board, port_after(port, i), static_cast<uint8_t>(value >> (8 * i)), now_ns);
}

uint16_t board_read_word(BoardState& board, int32_t port, int64_t now_ns) {
  uint16_t value = 0;
  for (int i = 0; i < 2; ++i) value |= static_cast<uint16_t>(board_read(board, port_after(port, i), now_ns) << (8 * i));
  return value;
}

uint32_t board_read_dword(BoardState& board, int32_t port, int64_t now_ns) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(board_read(board, port_after(port, i), now_ns)) << (8 * i);
  return value;
}

void board_set_bit(BoardState& board, int32_t port, int bit, int64_t now_ns) {
  if (!valid_bit(bit)) return;
  modify(board, port, now_ns, [bit](uint8_t v) { return static_cast<uint8_t>(v | (1u << bit)); });
}

void board_clear_bit(BoardState& board, int32_t port, int bit, int64_t now_ns) {
  if (!valid_bit(bit)) return;
  modify(board, port, now_ns, [bit](uint8_t v) { return static_cast<uint8_t>(v & ~(1u << bit)); });
}

void board_toggle_bit(BoardState& board, int32_t port, int bit, int64_t now_ns) {
  if (!valid_bit(bit)) return;
  modify(board, port, now_ns, [bit](uint8_t v) { return static_cast<uint8_t>(v ^ (1u << bit)); });
}

int32_t board_get_bit(BoardState& board, int32_t port, int bit, int64_t now_ns) {
  if (!valid_bit(bit)) return 0;
  return (board_read(board, port, now_ns) >> bit) & 1;
}

int32_t board_shift_right(BoardState& board, int32_t port, int32_t in_bit, int64_t now_ns) {
  const uint8_t old_value = board_read(board, port, now_ns);
  board_write(board, port, static_cast<uint8_t>((old_value >> 1) | ((in_bit & 1) << 7)), now_ns);
  return old_value & 1;
}

int32_t board_shift_left(BoardState& board, int32_t port, int32_t in_bit, int64_t now_ns) {
  const uint8_t old_value = board_read(board, port, now_ns);
  board_write(board, port, static_cast<uint8_t>((old_value << 1) | (in_bit & 1)), now_ns);
  return (old_value >> 7) & 1;
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
