#include "options.h"

#include <utility>

#include "script/script.h"

namespace placasim {

const char* const kUsage =
    "usage: placasim [--board NAME] [--no-panel] [--instructor] [--close-with-command]\n"
    "                [--stall-seconds S] [[--adaptor FIRMWARE] -- COMMAND [ARGS...]]\n"
    "       placasim [--board NAME] --script FILE [--trace FILE] [--strict]\n"
    "                [--needless-writes PER_SECOND] [--stall-seconds S] [--vcd FILE]\n"
    "                [--plot FILE.svg] [[--adaptor FIRMWARE] -- COMMAND [ARGS...]]\n"
    "       placasim --help | --version\n"
    "\n"
    "Shows the panel of the simulated board and lift, and runs COMMAND wired to it;\n"
    "the panel stays when COMMAND ends, showing how it ended, until it is closed;\n"
    "then placasim ends with COMMAND's exit code. With --script, runs the script headless and\n"
    "writes a JSON-lines trace; exit 0 when every expectation held, 1 when one failed,\n"
    "2 on a bad command line, script or board. The lift's rules are checked all along;\n"
    "with --strict a broken one fails the script.\n"
    "\n"
    "Options:\n"
    "  --board NAME            the board (default $PLACASIM_BOARD, else one per user)\n"
    "  --no-panel              run COMMAND without the panel\n"
    "  --instructor            the panel shows no fault set and the Faults window starts\n"
    "                          hidden: F on the panel opens it, Escape hides it\n"
    "  --close-with-command    the panel closes as soon as COMMAND ends\n"
    "  --script FILE           run the steps of FILE headless\n"
    "  --trace FILE            the trace into FILE (default: standard output)\n"
    "  --strict                a broken rule ends the script as failed\n"
    "  --needless-writes N     more than N writes a second that change no output\n"
    "                          count as a broken rule\n"
    "  --stall-seconds S       the motor driven with the cabin still for more than S\n"
    "                          seconds is a broken rule (default 1; 0: never)\n"
    "  --vcd FILE              record the run as a VCD waveform\n"
    "  --plot FILE.svg         draw the run's timeline with gnuplot (.svg or .png)\n"
    "  --adaptor FIRMWARE      COMMAND drives the board through the USB adaptor, its\n"
    "                          FIRMWARE (.hex or .elf) run in an emulated ATmega328P:\n"
    "                          COMMAND gets the serial port driver, and the adaptor's\n"
    "                          port in PLACAIO_SERIAL\n"
    "  --help, -h              this text\n"
    "  --version               the version\n";

bool parse_options(int argc, const char* const* argv, Options* options, std::string* error) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* out) {
      // An empty value would quietly mean the default.
      if (i + 1 >= argc || !*argv[i + 1]) {
        *error = arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    if (arg == "--") {
      for (++i; i < argc; ++i) o.command.emplace_back(argv[i]);
      if (o.command.empty()) {
        *error = "no command after --";
        return false;
      }
      break;
    }
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--board") {
      if (!value(&o.board)) return false;
    } else if (arg == "--script") {
      if (!value(&o.script)) return false;
    } else if (arg == "--trace") {
      if (!value(&o.trace)) return false;
    } else if (arg == "--plot") {
      if (!value(&o.plot)) return false;
    } else if (arg == "--adaptor") {
      if (!value(&o.adaptor)) return false;
    } else if (arg == "--vcd") {
      if (!value(&o.vcd)) return false;
    } else if (arg == "--strict") {
      o.strict = true;
    } else if (arg == "--needless-writes") {
      std::string text;
      if (!value(&text)) return false;
      if (!parse_int(text, 1, kMaxNeedlessLimit, &o.needless_limit)) {
        *error = "--needless-writes takes a whole number of writes per second, 1.." + std::to_string(kMaxNeedlessLimit);
        return false;
      }
    } else if (arg == "--stall-seconds") {
      std::string text;
      if (!value(&text)) return false;
      if (!parse_seconds(text, &o.stall_seconds) || o.stall_seconds < 0 || o.stall_seconds > kMaxStallSeconds) {
        *error = "--stall-seconds takes seconds, 0 (never) to " + std::to_string(static_cast<int>(kMaxStallSeconds));
        return false;
      }
    } else if (arg == "--instructor") {
      o.instructor = true;
    } else if (arg == "--close-with-command") {
      o.close_with_command = true;
    } else if (arg == "--no-panel") {
      o.panel = false;
    } else {
      *error = "unknown argument \"" + arg + "\" (the command to run goes after --)";
      return false;
    }
  }
  for (const auto& [set, name] : {std::pair{!o.trace.empty(), "--trace"}, std::pair{o.strict, "--strict"},
                                   std::pair{!o.vcd.empty(), "--vcd"}, std::pair{!o.plot.empty(), "--plot"},
                                   std::pair{o.needless_limit > 0, "--needless-writes"}}) {
    if (set && o.script.empty()) {
      *error = std::string(name) + " needs --script";
      return false;
    }
  }
  if (!o.adaptor.empty() && o.command.empty()) {
    *error = "--adaptor needs a command (after --) to drive the board through it";
    return false;
  }
  *options = std::move(o);
  return true;
}

}  // namespace placasim
