// The program's entry point on POSIX: hands over to WinMain as Windows would.
#include <csignal>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "win32.h"

namespace {

// Stands in for the program's module handle: any address unique to the program.
char program_image;
void end_as_by_default(int signal_number) {
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// SDL takes over SIGINT and SIGTERM when they are left at their default, turning
// them into events that this program never reads, so neither could end it. Claimed
// first, they end the program as they end any other.
void keep_termination_signals() {
  for (int signal_number : {SIGINT, SIGTERM}) {
    if (std::signal(signal_number, end_as_by_default) == SIG_IGN)
      std::signal(signal_number, SIG_IGN);  // ignored by whoever started us: leave it so
  }
}

// Without a display SDL falls back to its text-mode drivers and draws the cabin as
// escape codes on standard output at polling speed. The program's windows need X
// anyway, so only X11 is tried, and no display means the start-up's own refusal.
// A driver the user names (the tests' dummy one) still counts.
void graphical_video_only() { setenv("SDL_VIDEODRIVER", "x11", 0); }

// The arguments after the program's name, joined by spaces, as Windows passes them.
std::string command_line(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " " : "") + std::string(argv[i]);
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  keep_termination_signals();
  graphical_video_only();
  std::string line = command_line(argc, argv);
  return WinMain(reinterpret_cast<HINSTANCE>(&program_image), nullptr, line.data(), SW_SHOWDEFAULT);
}
