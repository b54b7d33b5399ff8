// placasim's command line.
#pragma once

#include <string>
#include <vector>

namespace placasim {

constexpr int kMaxNeedlessLimit = 1000000000;

struct Options {
  std::string board;             // empty: from the environment
  std::string script;            // headless script mode when set
  std::string trace;             // trace file; empty: standard output
  std::string plot;              // timeline picture (SVG); empty: none
  std::string vcd;               // waveform file; empty: none
  bool strict = false;           // a broken rule fails the script
  int needless_limit = 0;        // needless motor writes per second that count as broken; 0: none
  bool instructor = false;       // the panel does not show which faults are active
  bool panel = true;             // false: --no-panel
  bool help = false;
  bool version = false;
  std::vector<std::string> command;  // after "--"
};

// False with *error set on a bad command line.
bool parse_options(int argc, const char* const* argv, Options* options, std::string* error);

extern const char* const kUsage;

}  // namespace placasim
