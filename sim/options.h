// placasim's command line.
#pragma once

#include <string>
#include <vector>

#include "checks/checks.h"

namespace placasim {

constexpr int kMaxNeedlessLimit = 1000000000;

struct Options {
  std::string board;             // empty: from the environment
  std::string script;            // headless script mode when set
  std::string trace;             // trace file; empty: standard output
  std::string plot;              // timeline picture (SVG); empty: none
  std::string vcd;               // waveform file; empty: none
  std::string adaptor;           // the emulated adaptor's firmware; empty: the command drives the board directly
  bool strict = false;           // a broken rule fails the script
  int needless_limit = 0;        // needless motor writes per second that count as broken; 0: none
  double stall_seconds = kStallSeconds;  // the motor driven with the cabin still this long is broken; 0: never
  bool instructor = false;       // the panel does not show which faults are active
  bool panel = true;             // false: --no-panel
  bool close_with_command = false;  // the panel closes when COMMAND ends, not when closed
  bool help = false;
  bool version = false;
  std::vector<std::string> command;  // after "--"

  Limits limits() const { return {static_cast<double>(needless_limit), stall_seconds}; }
};

// False with *error set on a bad command line.
bool parse_options(int argc, const char* const* argv, Options* options, std::string* error);

extern const char* const kUsage;

}  // namespace placasim
