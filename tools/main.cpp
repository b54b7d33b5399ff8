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
  return placa::main_with(args, std::cout, std::cerr, watch);
}
