// A screen whose calls are bounded in time: a display that stops answering (a frozen
// X server, a hung window) ends the step that asked at its limit instead of hanging
// placasim.
#pragma once

#include <memory>

#include "host/screen.h"

namespace placasim {

// Runs screen's calls on a thread of its own. A call not answered within the limit
// fails, and every later one fails at once: the stuck thread is left behind.
std::unique_ptr<Screen> bounded(std::unique_ptr<Screen> screen);

}  // namespace placasim
