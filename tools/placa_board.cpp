// The commands of placa on the board, through the library's exports alone.
#include <placaio.h>

#include <string>
#include <thread>

#include "placa_cli.h"

namespace placa {

namespace {

using Clock = std::chrono::steady_clock;

// Between two tests of a timed wait: the library's own wait polls flat out, which a
// shell tool has no need to copy.
constexpr std::chrono::milliseconds kWaitPoll{1};
// The live view sleeps in slices so that Ctrl-C ends it promptly.
constexpr std::chrono::milliseconds kStopCheck{50};

// leeanalogica takes the channel mask itself, not an input number: 1 and 2 select
// inputs 1 and 2, 4 selects input 3, and input 4's mask, 8, is out of its range.
// 0 marks the input whose count cannot be read.
constexpr int32_t kCountChannel[kAnalogInputs] = {1, 2, 4, 0};

constexpr const char* kHideCursor = "\x1b[?25l";
constexpr const char* kShowCursor = "\x1b[?25h";
constexpr const char* kClearScreen = "\x1b[2J";
constexpr const char* kHome = "\x1b[H";
constexpr const char* kClearLine = "\x1b[K";
constexpr const char* kClearBelow = "\x1b[J";

void print_outputs(std::ostream& out) {
  std::array<int32_t, kOutputs> each{};
  std::array<char, kMotors> motors{};
  const int32_t image = VS_INT();
  SALIDA_INT(each.data());
  M_INT(motors.data());
  out << format_outputs(image, each, motors);
}

void motor(int32_t m, char code) {
  switch (m) {
    case 1: M1(code); break;
    case 2: M2(code); break;
    case 3: M3(code); break;
    case 4: M4(code); break;
    default: break;
  }
}

std::string seconds_text(std::chrono::milliseconds ms) {
  std::string text = std::to_string(ms.count() / 1000);
  const int64_t fraction = ms.count() % 1000;
  if (fraction != 0) {
    std::string digits = std::to_string(1000 + fraction).substr(1);
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text;
}

int wait_for(const Command& command, std::ostream& out, std::ostream& err) {
  const bool want_on = command.op == Op::kEsperaOn;
  const int32_t n = command.number;
  const std::string reached = "input " + std::to_string(n) + (want_on ? " on\n" : " off\n");
  if (!command.timeout) {
    if (want_on) EsperaOn(n);
    else EsperaOff(n);
    out << reached;
    return kExitOk;
  }
  const Clock::time_point deadline = Clock::now() + *command.timeout;
  for (;;) {
    if ((SD(n) != 0) == want_on) {
      out << reached;
      return kExitOk;
    }
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(kWaitPoll);
  }
  err << "placa: input " << n << " still " << (want_on ? "off" : "on") << " after "
      << seconds_text(*command.timeout) << " s\n";
  return kExitTimedOut;
}

bool stopped(const WatchSettings& watch) { return watch.stop != nullptr && watch.stop->load(); }

// Each line of a frame clears what an earlier, longer frame left behind.
std::string overdraw(const std::string& frame) {
  std::string text;
  size_t start = 0;
  for (size_t end; (end = frame.find('\n', start)) != std::string::npos; start = end + 1)
    text += frame.substr(start, end - start) + kClearLine + "\n";
  return text;
}

int watch_board(std::ostream& out, std::ostream& err, const WatchSettings& watch) {
  if (!watch.on_terminal) {
    err << "placa: vigila draws on a terminal only; use entradas or analogicas\n";
    return kExitUsage;
  }
  const bool ansi = watch.prepare ? watch.prepare() : watch.ansi;
  if (ansi) out << kHideCursor << kClearScreen;
  for (int frames = 0; !stopped(watch);) {
    const int32_t inputs = VE_INT();
    const std::string frame = format_watch_frame(inputs, read_analog());
    if (ansi) out << kHome << overdraw(frame) << kClearBelow;
    else out << frame << "\n";
    out.flush();
    if (!out) break;  // the terminal has gone: nobody is watching
    if (watch.max_frames > 0 && ++frames >= watch.max_frames) break;
    for (auto left = watch.interval; left.count() > 0 && !stopped(watch); left -= kStopCheck)
      std::this_thread::sleep_for(std::min(left, kStopCheck));
  }
  if (ansi) out << kShowCursor;
  out << "\n";
  out.flush();
  return kExitOk;
}

}  // namespace

AnalogInputs read_analog() {
  AnalogInputs analog;
  for (int i = 0; i < kAnalogInputs; ++i)
    if (kCountChannel[i] != 0) analog[i].count = leeanalogica(kCountChannel[i]);
  std::array<int32_t, kAnalogInputs> volts{};
  SA_INT(volts.data());
  for (int i = 0; i < kAnalogInputs; ++i) analog[i].volts = volts[i];
  return analog;
}

int run(const Command& command, std::ostream& out, std::ostream& err, const WatchSettings& watch) {
  switch (command.op) {
    case Op::kHelp:
      out << help_text();
      return kExitOk;
    case Op::kVersion:
      out << "placa " PLACAIO_VERSION "\n";
      return kExitOk;
    case Op::kSalida:
      SALIDA(command.number);
      break;
    case Op::kConecta:
      CONECTA(command.number);
      break;
    case Op::kDesconecta:
      DESCONECTA(command.number);
      break;
    case Op::kMotor:
      motor(command.number, command.code);
      break;
    case Op::kMotores:
      M(command.codes.data());
      break;
    case Op::kEstado:
      break;
    case Op::kEntradas:
      out << format_inputs(VE_INT());
      return kExitOk;
    case Op::kAnalogicas:
      out << format_analog(read_analog());
      return kExitOk;
    case Op::kEsperaOn:
    case Op::kEsperaOff:
      return wait_for(command, out, err);
    case Op::kVigila:
      return watch_board(out, err, watch);
  }
  print_outputs(out);
  return kExitOk;
}

int main_with(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const WatchSettings& watch) {
  Command command;
  std::string error;
  if (!parse_arguments(args, &command, &error)) {
    err << "placa: " << error << "\nTry 'placa --help'.\n";
    return kExitUsage;
  }
  return run(command, out, err, watch);
}

}  // namespace placa
