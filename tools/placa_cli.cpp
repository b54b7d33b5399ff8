// The command line of placa and the text it prints: nothing here touches the board.
#include "placa_cli.h"

#include <cstdio>
#include <limits>

namespace placa {

namespace {

constexpr int64_t kMaxTimeoutSeconds = 1'000'000;  // beyond eleven days nobody waits
constexpr int kMillisecondsPerSecond = 1000;
constexpr int kMillisecondDigits = 3;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int digit_value(char c, int base) {
  int value = base;  // "not a digit"
  if (c >= '0' && c <= '9') value = c - '0';
  else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

struct CommandSpec {
  const char* name;
  Op op;
};

constexpr CommandSpec kCommands[] = {
    {"salida", Op::kSalida},         {"conecta", Op::kConecta},
    {"desconecta", Op::kDesconecta}, {"motor", Op::kMotor},
    {"motores", Op::kMotores},       {"estado", Op::kEstado},
    {"entradas", Op::kEntradas},     {"analogicas", Op::kAnalogicas},
    {"espera-on", Op::kEsperaOn},    {"espera-off", Op::kEsperaOff},
    {"vigila", Op::kVigila},
};

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// A number argument within lo..hi; on failure *error names the command and the text.
bool ranged(const std::string& command, std::string_view what, std::string_view text,
            int64_t lo, int64_t hi, int32_t* number, std::string* error) {
  const std::string range = " (" + std::to_string(lo) + ".." + std::to_string(hi) + ")";
  // "-1" is a number, just not one in range.
  const bool negative = !text.empty() && text.front() == '-';
  const std::optional<int64_t> value = parse_number(negative ? text.substr(1) : text);
  if (!value) {
    *error = command + ": " + std::string(what) + " " + quoted(text) +
             " is not a number (decimal, 0x hex or 0b binary)";
    return false;
  }
  if (negative || *value < lo || *value > hi) {
    *error = command + ": " + std::string(what) + " " + std::string(text) + " is out of range" + range;
    return false;
  }
  *number = static_cast<int32_t>(*value);
  return true;
}

std::optional<char> motor_code(std::string_view text) {
  if (text.size() != 1) return std::nullopt;
  switch (text.front()) {
    case 'D': case 'd': return 'D';
    case 'I': case 'i': return 'I';
    case 'P': case 'p': return 'P';
    default: return std::nullopt;
  }
}

std::string on_off(int32_t value) { return value != 0 ? "on" : "off"; }

}  // namespace

std::optional<int64_t> parse_number(std::string_view text) {
  int base = 10;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) base = 16;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'b' || text[1] == 'B')) base = 2;
  if (base != 10) text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (char c : text) {
    const int digit = digit_value(c, base);
    if (digit < 0) return std::nullopt;
    // Saturate: a huge number is still a number, and out of every range.
    value = value > (kMax - digit) / base ? kMax : value * base + digit;
  }
  return value;
}

std::optional<std::chrono::milliseconds> parse_seconds(std::string_view text) {
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
  if (whole.empty() || (dot != std::string_view::npos && fraction.empty())) return std::nullopt;
  int64_t seconds = 0;
  for (char c : whole) {
    if (!is_digit(c)) return std::nullopt;
    seconds = seconds > kMaxTimeoutSeconds ? seconds : seconds * 10 + (c - '0');
  }
  int64_t millis = 0;
  int digits = 0;
  for (char c : fraction) {
    if (!is_digit(c)) return std::nullopt;
    if (digits++ < kMillisecondDigits) millis = millis * 10 + (c - '0');
  }
  for (; digits < kMillisecondDigits; ++digits) millis *= 10;
  if (seconds > kMaxTimeoutSeconds || (seconds == kMaxTimeoutSeconds && millis > 0))
    return std::nullopt;
  return std::chrono::milliseconds(seconds * kMillisecondsPerSecond + millis);
}

bool parse_arguments(const std::vector<std::string>& args, Command* parsed, std::string* error) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h" || a == "--version") {
      *parsed = Command{};
      if (a == "--version") parsed->op = Op::kVersion;
      return true;
    }
  if (args.empty()) {
    *error = "no command given";
    return false;
  }

  const std::string& name = args[0];
  const CommandSpec* known = nullptr;
  for (const CommandSpec& c : kCommands)
    if (name == c.name) known = &c;
  if (known == nullptr) {
    *error = "unknown command " + quoted(name);
    return false;
  }

  Command command;
  command.op = known->op;
  const bool waits = known->op == Op::kEsperaOn || known->op == Op::kEsperaOff;

  // Operands, with the time-out option of the waits taken out wherever it stands.
  std::vector<std::string_view> operands;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string_view a = args[i];
    std::optional<std::string_view> timeout_text;
    if (waits && (a == "--timeout" || a == "-t")) {
      if (i + 1 == args.size()) {
        *error = name + ": " + std::string(a) + " needs a number of seconds";
        return false;
      }
      timeout_text = args[++i];
    } else if (waits && a.starts_with("--timeout=")) {
      timeout_text = a.substr(std::string_view("--timeout=").size());
    } else if (a.size() > 1 && a.front() == '-' && !is_digit(a[1])) {
      *error = name + ": unknown option " + quoted(a);
      return false;
    } else {
      operands.push_back(a);
      continue;
    }
    command.timeout = parse_seconds(*timeout_text);
    if (!command.timeout) {
      *error = name + ": bad time-out " + quoted(*timeout_text) + " (seconds up to " +
               std::to_string(kMaxTimeoutSeconds) + ", e.g. 2.5)";
      return false;
    }
  }

  size_t wanted = 0;
  std::string usage;
  switch (known->op) {
    case Op::kSalida: wanted = 1; usage = "BYTE"; break;
    case Op::kConecta: case Op::kDesconecta: wanted = 1; usage = "N"; break;
    case Op::kMotor: wanted = 2; usage = "M D|I|P"; break;
    case Op::kMotores: wanted = 1; usage = "CODES"; break;
    case Op::kEsperaOn: case Op::kEsperaOff: wanted = 1; usage = "N [--timeout SECONDS]"; break;
    default: break;
  }
  if (operands.size() != wanted) {
    *error = name + (wanted == 0 ? " takes no arguments"
                                 : ": expected " + name + " " + usage);
    return false;
  }

  bool good = true;
  int32_t* number = &command.number;
  switch (known->op) {
    case Op::kSalida:
      good = ranged(name, "byte", operands[0], 0, kByteMax, number, error);
      break;
    case Op::kConecta: case Op::kDesconecta:
      good = ranged(name, "output", operands[0], 1, kOutputs, number, error);
      break;
    case Op::kEsperaOn: case Op::kEsperaOff:
      good = ranged(name, "input", operands[0], 1, kInputs, number, error);
      break;
    case Op::kMotor: {
      good = ranged(name, "motor", operands[0], 1, kMotors, number, error);
      const std::optional<char> code = motor_code(operands[1]);
      if (good && !code) {
        *error = name + ": bad motor code " + quoted(operands[1]) + " (D, I or P)";
        good = false;
      }
      if (good) command.code = *code;
      break;
    }
    case Op::kMotores: {
      const std::string_view codes = operands[0];
      good = codes.size() == kMotors;
      for (size_t m = 0; good && m < codes.size(); ++m) {
        const std::optional<char> code = motor_code(codes.substr(m, 1));
        good = code.has_value();
        if (good) command.codes[m] = *code;
      }
      if (!good)
        *error = name + ": bad motor codes " + quoted(codes) +
                 " (four of D, I or P, motor 1 first, e.g. DPIP)";
      break;
    }
    default:
      break;
  }
  if (!good) return false;
  *parsed = command;
  return true;
}

std::string help_text() {
  return R"(Usage: placa COMMAND [ARGUMENTS]

Drives the interface board through the placaio library, command by command.

Outputs and motors (each prints the output image afterwards):
  salida BYTE             all eight outputs at once, 0..255 (bit n-1 is output n)
  conecta N               output N (1..8) on
  desconecta N            output N (1..8) off
  motor M D|I|P           motor M (1..4): D second output on, I first output on,
                          P both off; motor M owns outputs 2M-1 and 2M
  motores CODES           all four motors, motor 1 first, e.g. motores DPIP
  estado                  the output image, each output and each motor

Inputs:
  entradas                the input byte and each input
  analogicas              the four analog inputs: count 0..255 and whole volts 0..4
  espera-on N [-t S]      wait until input N (1..8) is on
  espera-off N [-t S]     wait until input N (1..8) is off
                          -t S, --timeout S: give up after S seconds (e.g. 2.5);
                          without it the wait lasts until the input changes
  vigila                  live view of the inputs and analog inputs, on a
                          terminal only; Ctrl-C ends it

  --help, -h              this text
  --version               the version

Numbers are decimal, 0x hex or 0b binary: salida 0x0F, salida 0b1010.
Motor codes may be written in lower case.

Every run of placa starts from an output image of 0, as every program that loads
the library does: the board's outputs are never read back. So "conecta 3" switches
output 3 on and every other output off, and "estado" shows only what its own run
did, which is nothing. Use "salida" to set all eight outputs as wanted at once.

The library reads no raw count for analog input 4; "analogicas" shows "-" there.

The port driver is the library's: io.so through the loader path on Linux, io.dll
beside the program on Windows.

Exit codes: 0 done; 1 a wait's time-out ran out; 2 bad command line, or vigila
without a terminal (the board is not touched); 3 the port driver has no board
(it says why).
)";
}

std::string format_byte(int32_t value) {
  char bits[kOutputs + 1] = {};
  for (int i = 0; i < kOutputs; ++i) bits[i] = (value >> (kOutputs - 1 - i)) & 1 ? '1' : '0';
  char text[64];
  std::snprintf(text, sizeof text, "%d (0x%02X, 0b%s)", static_cast<int>(value),
                static_cast<unsigned>(value) & 0xFFu, bits);
  return text;
}

std::string format_outputs(int32_t image, const std::array<int32_t, kOutputs>& each,
                           const std::array<char, kMotors>& motors) {
  std::string text = "outputs: " + format_byte(image) + "\n ";
  for (int n = 1; n <= kOutputs; ++n) text += " " + std::to_string(n) + ":" + on_off(each[n - 1]);
  text += "\nmotors:";
  for (int m = 1; m <= kMotors; ++m) {
    const char c = motors[m - 1];
    text += " " + std::to_string(m) + ":" + (c == 'D' || c == 'I' || c == 'P' ? c : '?');
  }
  return text + "\n";
}

std::string format_inputs(int32_t input_byte) {
  std::string text = "inputs: " + format_byte(input_byte) + "\n ";
  for (int n = 1; n <= kInputs; ++n)
    text += " " + std::to_string(n) + ":" + on_off((input_byte >> (n - 1)) & 1);
  return text + "\n";
}

std::string format_analog(const AnalogInputs& analog) {
  static constexpr const char* kNames[kAnalogInputs] = {"1 (W)", "2 (X)", "3 (Y)", "4 (Z)"};
  std::string text = "analog  count  volts\n";
  for (int i = 0; i < kAnalogInputs; ++i) {
    const std::string count = analog[i].count ? std::to_string(*analog[i].count) : "-";
    char line[64];
    std::snprintf(line, sizeof line, "%-6s %6s %6d\n", kNames[i], count.c_str(),
                  static_cast<int>(analog[i].volts));
    text += line;
  }
  return text;
}

std::string format_watch_frame(int32_t input_byte, const AnalogInputs& analog) {
  return "placa vigila (Ctrl-C ends)\n\n" + format_inputs(input_byte) + "\n" + format_analog(analog);
}

}  // namespace placa
