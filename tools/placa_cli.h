// placa: drive and watch the interface board from the shell, through libplacaio.
// Parsing and formatting are plain functions so that tests can call them; main()
// only wires them to the process's streams and console.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace placa {

constexpr int kExitOk = 0;
constexpr int kExitTimedOut = 1;  // a wait's time-out ran out
constexpr int kExitUsage = 2;     // bad command line; the board was not touched
constexpr int kExitNoBoard = 3;   // the port driver has no board: its inputs read all off

constexpr int kOutputs = 8;
constexpr int kInputs = 8;
constexpr int kMotors = 4;
constexpr int kAnalogInputs = 4;
constexpr int32_t kByteMax = 255;

enum class Op {
  kHelp,
  kVersion,
  kSalida,
  kConecta,
  kDesconecta,
  kMotor,
  kMotores,
  kEstado,
  kEntradas,
  kAnalogicas,
  kEsperaOn,
  kEsperaOff,
  kVigila,
};

struct Command {
  Op op = Op::kHelp;
  int32_t number = 0;  // byte, output, input or motor number
  char code = 0;       // motor code, upper case
  std::array<char, kMotors> codes{};
  std::optional<std::chrono::milliseconds> timeout;
};

// Decimal, 0x hex or 0b binary, no sign; empty when not a number or beyond int64.
std::optional<int64_t> parse_number(std::string_view text);
// Seconds with an optional fraction ("2", "0.25"), kept to whole milliseconds.
std::optional<std::chrono::milliseconds> parse_seconds(std::string_view text);
// The arguments after the program name; false with *error (one line, without the
// program name) on a bad command line.
bool parse_arguments(const std::vector<std::string>& args, Command* command, std::string* error);

std::string help_text();

// "4 (0x04, 0b00000100)"
std::string format_byte(int32_t value);
// The output image, each output and each motor's read-back.
std::string format_outputs(int32_t image, const std::array<int32_t, kOutputs>& each,
                           const std::array<char, kMotors>& motors);
std::string format_inputs(int32_t input_byte);

// One analog input: the raw count where the library can read it, and whole volts.
struct Analog {
  std::optional<int32_t> count;
  int32_t volts = 0;
};
using AnalogInputs = std::array<Analog, kAnalogInputs>;
std::string format_analog(const AnalogInputs& analog);

// ---- board side: these call libplacaio

// Reads the four analog inputs: counts of inputs 1..3, whole volts of all four.
AnalogInputs read_analog();

// How the live view is drawn and ended; tests bound it by frames.
struct WatchSettings {
  bool on_terminal = false;
  bool ansi = true;  // cursor movement available; otherwise frames follow each other
  // Called once the view is sure to run (Ctrl-C handling, console mode); its result
  // replaces `ansi`.
  bool (*prepare)() = nullptr;
  const std::atomic<bool>* stop = nullptr;
  int max_frames = 0;  // 0: until stop
  std::chrono::milliseconds interval{200};
};

// One screen of the live view, without any terminal control.
std::string format_watch_frame(int32_t input_byte, const AnalogInputs& analog);

// Runs a parsed command on the board; returns the exit code.
int run(const Command& command, std::ostream& out, std::ostream& err, const WatchSettings& watch);

// The whole program: parse, then run; errors never touch the board.
int main_with(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const WatchSettings& watch);

}  // namespace placa
