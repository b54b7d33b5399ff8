// The program's entry point on POSIX: hands over to WinMain as Windows would.
#include <csignal>
#include <initializer_list>

#include "win32.h"

namespace {

// Stands in for the program's module handle: any address unique to the program.
char program_image;
// The program takes no arguments and reads no command line.
char empty_command_line[] = "";

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

int main() {
  keep_termination_signals();
  return WinMain(reinterpret_cast<HINSTANCE>(&program_image), nullptr, empty_command_line,
                 SW_SHOWDEFAULT);
}
