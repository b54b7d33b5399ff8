// The program's entry point on POSIX: hands over to WinMain as Windows would.
#include <csignal>
#include <string>

#include "command_line.h"
#include "win32_user.h"

namespace {

// Stands in for the program's module handle: any address unique to the program.
char program_image;

// Rebuilds the command line after the program's name, quoting as Windows expects.
std::string command_line(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (!line.empty()) line += ' ';
    line += quoted_argument(argv[i]);
  }
  return line;
}

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

}  // namespace

int main(int argc, char** argv) {
  keep_termination_signals();
  std::string line = command_line(argc, argv);
  return WinMain(reinterpret_cast<HINSTANCE>(&program_image), nullptr, line.data(),
                 SW_SHOWDEFAULT);
}
