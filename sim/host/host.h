// The host seam: what placasim asks of the system, and a folder for each system.
#pragma once

#include "host/child.h"         // the programs it starts
#include "host/screen.h"        // the windows that click steps use
#include "host/stop_signals.h"  // requests to end
