// Helper of the panel's tests under a display:
//   panel_probe close TITLE                 asks the window titled TITLE to close, as a
//                                           window manager's close button does
//   panel_probe held BOARD INPUT SECONDS    polls the board every 10 ms, as a lift program
//                                           would, and prints how long INPUT was seen held
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shared_board.h"

namespace {

Window find(Display* d, Window w, const char* title) {
  char* name = nullptr;
  if (XFetchName(d, w, &name) && name) {
    const bool same = std::strcmp(name, title) == 0;
    XFree(name);
    if (same) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) found = find(d, children[i], title);
    if (children) XFree(children);
  }
  return found;
}

int close_window(const char* title) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 2;
  const Window w = find(d, DefaultRootWindow(d), title);
  if (!w) {
    std::fprintf(stderr, "panel_probe: no window \"%s\"\n", title);
    return 1;
  }
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XCloseDisplay(d);
  return 0;
}

int held(const char* board_name, int input, double seconds) {
  std::string error;
  auto board = sim::SharedBoard::open(board_name, &error);
  if (!board) {
    std::fprintf(stderr, "panel_probe: %s\n", error.c_str());
    return 2;
  }
  const int64_t start = sim::monotonic_ns();
  int64_t first = -1, last = -1;
  for (int64_t now = start; now - start < static_cast<int64_t>(seconds * sim::kNanosPerSecond);
       now = sim::monotonic_ns()) {
    const uint8_t inputs = board->with([&](sim::BoardState& s) {
      sim::board_advance(s, now);
      return sim::board_inputs(s);
    });
    if (inputs & (1u << (input - 1))) {
      if (first < 0) first = now;
      last = now;
    }
    usleep(10000);
  }
  std::printf("%.3f\n", first < 0 ? 0.0 : static_cast<double>(last - first) / sim::kNanosPerSecond);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "close") == 0) return close_window(argv[2]);
  if (argc == 5 && std::strcmp(argv[1], "held") == 0) return held(argv[2], std::atoi(argv[3]), std::atof(argv[4]));
  std::fprintf(stderr, "usage: panel_probe close TITLE | held BOARD INPUT SECONDS\n");
  return 2;
}
