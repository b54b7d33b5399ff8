// placa: the board from the shell. All the work is in placa_cli and placa_board.
#include <iostream>
#include <string>
#include <vector>

#include "console.h"
#include "placa_cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = placa::console::arguments(argc, argv);
  placa::WatchSettings watch;
  watch.on_terminal = placa::console::stdout_is_terminal();
  watch.prepare = placa::console::begin_live_view;
  watch.stop = &placa::console::interrupted();
  const int code = placa::main_with(args, std::cout, std::cerr, watch);
  // What was read or written went nowhere: not a success.
  if (code != placa::kExitUsage && placa::console::driver_without_board()) {
    std::cerr << "placa: the port driver has no board; nothing was read from it or written to it\n";
    return placa::kExitNoBoard;
  }
  return code;
}
