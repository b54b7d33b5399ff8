#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>

#include "host/stop_signals.h"
#include "panel/fltk/panel.h"
#include "panel/panel.h"

namespace placasim {

namespace {
bool panel_shown = false;
}

std::optional<int> show_panel(sim::SharedBoard& board, Child* command, const PanelOptions& options) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "placasim: no display; running without the panel\n");
    return std::nullopt;
  }
  panel_shown = true;
  return run_panel(display, board, command, options, stop_requested);
}

void pass_time(int ms) {
  if (panel_shown)
    serve_display(ms);
  else
    usleep(static_cast<useconds_t>(ms) * 1000);
}

}  // namespace placasim
