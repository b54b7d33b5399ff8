// The little placa needs of the console, one source per platform.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace placa::console {

// The arguments after the program's name, as the user typed them: UTF-8 on Windows
// too, so a character outside ASCII never turns into a look-alike digit or letter.
std::vector<std::string> arguments(int argc, char** argv);
bool stdout_is_terminal();
// Makes Ctrl-C set interrupted() instead of ending the process, and readies the
// console for cursor movement; false when the console cannot move the cursor.
bool begin_live_view();
const std::atomic<bool>& interrupted();
// True when the port driver the library loaded says it has no board (a simulated
// board refused, no port): the library's exports alone cannot tell.
bool driver_without_board();

}  // namespace placa::console
