// The simulated interface board and the lift model wired to it. Plain data and pure
// functions of an explicit clock (nanoseconds), so the same state can live in shared
// memory and be driven by a fake clock in tests.
#pragma once

#include <cstdint>

#include "board/registros.h"

namespace sim {

// The register protocol (board/registros.h) under the model's names.
constexpr int32_t kDataPort = REGISTRO_DATOS;
constexpr int32_t kStatusPort = REGISTRO_ESTADO;
constexpr int32_t kControlPort = REGISTRO_CONTROL;

// Control values and what the board does with them.
constexpr uint8_t kControlOutputs = CONTROL_SALIDAS;               // data written now goes to the output latch
constexpr uint8_t kControlSelect = CONTROL_SELECCION_ANALOGICA;    // data written now selects the analog channel
constexpr uint8_t kControlSample = CONTROL_CONVERSION;             // writing it samples the selected channel
constexpr uint8_t kControlInputsLow = CONTROL_ENTRADAS_BAJAS;      // status shows inputs 1..4, inverted
constexpr uint8_t kControlInputsHigh = CONTROL_ENTRADAS_ALTAS;     // status shows inputs 5..8, inverted
constexpr uint8_t kControlAnalogLow = CONTROL_ANALOGICA_BAJA;      // status shows count bits 0..3
constexpr uint8_t kControlAnalogHigh = CONTROL_ANALOGICA_ALTA;     // status shows count bits 4..7

// The four status lines the board drives: bits 3..6. With nothing selected they
// idle high, which reads as "no input active".
constexpr int kStatusShift = DESPLAZAMIENTO_DE_GRUPO;
constexpr uint8_t kStatusLines = BITS_DE_GRUPO;
// A read of a port the board does not decode: a floating bus.
constexpr uint8_t kFloatingBus = 0xFF;

constexpr int kInputs = 8;
constexpr int kOutputs = 8;
constexpr int kMotors = 4;
constexpr int kAnalogInputs = 4;

// The lift's wiring.
constexpr int kFloors = 3;
constexpr int kFirstCallInput = 1;     // call buttons: inputs 1..3
constexpr int kFirstSensorInput = 4;   // floor sensors: inputs 4..6
constexpr int kSwitchInputs[] = {7, 8};
constexpr uint8_t kOutputTowardFirst = 0x01;  // output 1: cabin toward floor 1
constexpr uint8_t kOutputTowardTop = 0x02;    // output 2: cabin toward floor 3

// Lift physics. Positions are in floors: 1.0 is the cabin level with floor 1.
constexpr double kBottomFloor = 1.0;
constexpr double kTopFloor = 3.0;
constexpr double kSecondsPerFloor = 2.5;
// A floor sensor is active while the cabin is within this distance of its floor:
// 0.05 floor is 125 ms of travel each side, several thousand polls of the lift program.
constexpr double kSensorHalfBand = 0.05;

constexpr int64_t kNanosPerSecond = 1000000000;

// Output changes kept for observers (the panel, the script trace) that poll more
// slowly than the outputs may change.
constexpr int kChangeHistory = 64;

enum class Drive : uint8_t { stopped, toward_first, toward_top };

enum class MotorFault : uint8_t { none, stalled, slipping };

// Faults set on purpose, for teaching; the models are in faults.h.
struct Faults {
  uint8_t stuck_on;       // inputs that read on whatever happens; bit n-1 = input n
  uint8_t stuck_off;      // inputs that read off (stuck_on wins)
  uint8_t chatter;        // floor sensors that bounce on entering their band; bit f-1 = floor f
  MotorFault motor;       // the lift motor (motor 1)
  uint8_t noise[kAnalogInputs];  // amplitude of the noise on each analog input, in counts
  double slip;            // fraction of its speed a slipping motor gives, 0..1
  int64_t chatter_ns;     // how long a chattering sensor bounces
  int64_t band_entered_ns[kFloors];  // when the cabin last entered each floor's band
};

struct OutputChange {
  int64_t time_ns;
  double position;
  uint8_t outputs;
};

// Everything about one board. Trivially copyable: it lives in shared memory.
struct BoardState {
  int64_t updated_ns;   // the time the cabin position was last brought up to
  double position;      // cabin, in floors, kBottomFloor..kTopFloor
  uint8_t outputs;      // the output latch
  uint8_t data;         // last byte written to the data register
  uint8_t control;      // last byte written to the control register
  uint8_t held_inputs;  // inputs held on from outside (buttons, switches); bit n-1 = input n
  uint8_t channel_mask; // data written under kControlSelect
  uint8_t sample;       // count latched by kControlSample
  uint8_t analog[kAnalogInputs];
  Faults faults;
  uint64_t output_writes;            // writes to the output latch
  uint64_t output_writes_unchanged;  // of those, the ones that changed nothing
  uint64_t changes_total;  // output changes ever; the latest is changes[(total-1) % history]
  OutputChange changes[kChangeHistory];
  // Power-ons of this board so far: the counts above restart at each, which every
  // process watching the board must notice.
  uint64_t power_ons;
  int64_t powered_on_ns;  // the latest power-on
};

// Power-on state: cabin at floor 1, everything off, analog inputs 0; the count of
// power-ons goes on.
void board_reset(BoardState& board, int64_t now_ns);

// Brings the cabin to where it is at now_ns. Time never runs backwards for the model.
void board_advance(BoardState& board, int64_t now_ns);

// Register access as seen from the parallel port; each first advances the model.
// The driver derives words, bits and shifts from these (drivers/port_ops.h).
void board_write(BoardState& board, int64_t port, uint8_t value, int64_t now_ns);
uint8_t board_read(BoardState& board, int64_t port, int64_t now_ns);

// Inputs from outside: n is 1..8; others are ignored.
void board_hold_input(BoardState& board, int n, bool on);
// Analog input n (1..4) to value; others are ignored.
void board_set_analog(BoardState& board, int n, uint8_t value);

// What the board sees now (after board_advance): the input byte, input n in bit n-1,
// with the faults set on it.
uint8_t board_inputs(const BoardState& board);

// The lift's side.
Drive lift_drive(uint8_t outputs);
bool floor_sensor_active(double position, int floor);
// True while the drive actually moves the cabin (not stopped, not against an end stop).
bool lift_moving(const BoardState& board);
// The floor whose sensor is active, or 0 between floors.
int floor_at(double position);

// Motor m (1..4): 'I' first output on, 'D' second on, 'P' both off or both on.
char motor_state(uint8_t outputs, int motor);
// A motor state as a number for recordings: -1 'I' (the lift toward floor 1), 0 'P', +1 'D'.
inline int motor_direction(char state) { return state == 'I' ? -1 : state == 'D' ? 1 : 0; }

// The channel a mask selects: the lowest of its bits 0..3 (mask 1, 2, 4, 8 select
// inputs 1..4; mask 3 selects input 1); 0 when none of them is set.
int analog_channel(uint8_t mask);

}  // namespace sim
