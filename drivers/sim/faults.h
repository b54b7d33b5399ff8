// Faults an instructor sets on the simulated board: inputs stuck on or off, a floor
// sensor that chatters, a stalled or slipping lift motor, noise on the analog inputs.
// Like the model, pure functions of the board state and an explicit clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board_model.h"

namespace sim {

// How a chattering sensor bounces: on and off in turns of this length.
constexpr int64_t kChatterStepNs = 3000000;
constexpr double kMaxChatterSeconds = 10.0;
constexpr int kMaxNoise = 255;

// Input n (1..8) reads on (on) or off whatever drives it; others are ignored.
void fault_stick_input(BoardState& board, int n, bool on);
void fault_unstick_input(BoardState& board, int n);
// Floor f's sensor (1..3) bounces for the given time whenever the cabin enters its band.
void fault_chatter(BoardState& board, int floor, int64_t duration_ns);
void fault_stop_chatter(BoardState& board, int floor);
// The lift motor: stalled (driven, the cabin does not move), slipping (it moves at
// `fraction` of its speed, 0..1), or sound again.
void fault_motor(BoardState& board, MotorFault fault, double fraction = 1.0);
// Analog input n (1..4) reads its value plus noise of up to +-amplitude counts (0: none).
void fault_noise(BoardState& board, int n, int amplitude);
void faults_clear(BoardState& board);

// What the faults make of the board, used by the model.
// The inputs the board shows at now_ns, given those it would show without faults.
uint8_t faulty_inputs(const BoardState& board, uint8_t inputs, int64_t now_ns);
// The share of its speed the lift motor gives: 1 sound, 0 stalled.
double motor_speed_factor(const BoardState& board);
// The count a conversion of analog input n latches at now_ns.
uint8_t noisy_analog(const BoardState& board, int n, int64_t now_ns);
// Notes when the cabin, moving from `from` at from_ns to `to` at to_ns, entered a
// floor's band (the exact time on the straight path).
void note_band_entries(BoardState& board, double from, int64_t from_ns, double to, int64_t to_ns);

// The active faults in words, one per fault ("input 5 stuck on", ...).
std::vector<std::string> active_faults(const BoardState& board);

}  // namespace sim
