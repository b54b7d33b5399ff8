// Helper of the panel's tests under a display:
//   panel_probe close TITLE   asks the window titled TITLE to close, as a window
//                             manager's close button does
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>

#include "x11_close_request.h"


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
  send_close_request(d, w);
  XCloseDisplay(d);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "close") == 0) return close_window(argv[2]);
  std::fprintf(stderr, "usage: panel_probe close TITLE\n");
  return 2;
}
