// The little placa needs of the console, one source per platform.
#pragma once

#include <atomic>

namespace placa::console {

bool stdout_is_terminal();
// Makes Ctrl-C set interrupted() instead of ending the process, and readies the
// console for cursor movement; false when the console cannot move the cursor.
bool begin_live_view();
const std::atomic<bool>& interrupted();

}  // namespace placa::console
