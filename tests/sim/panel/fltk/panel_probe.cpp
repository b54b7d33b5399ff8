// panel_probe on X: the FLTK panel keeps its status in the window's _PLACASIM_STATUS.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>

#include "panel/panel_probe.h"
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

}  // namespace

int close_window(const char* title) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 2;
  const Window w = find(d, DefaultRootWindow(d), title);
  if (!w) {
    std::fprintf(stderr, "panel_probe: no window \"%s\"\n", title);
    XCloseDisplay(d);
    return 1;
  }
  send_close_request(d, w);
  XCloseDisplay(d);
  return 0;
}

int print_status(const char* title) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 2;
  const Window w = find(d, DefaultRootWindow(d), title);
  Atom type = None;
  int format = 0;
  unsigned long n = 0, left = 0;
  unsigned char* text = nullptr;
  if (!w || XGetWindowProperty(d, w, XInternAtom(d, "_PLACASIM_STATUS", False), 0, 1 << 16, False, AnyPropertyType,
                               &type, &format, &n, &left, &text) != Success || !text) {
    std::fprintf(stderr, "panel_probe: no panel \"%s\" with a status\n", title);
    XCloseDisplay(d);
    return 1;
  }
  std::printf("%.*s\n", static_cast<int>(n), reinterpret_cast<const char*>(text));
  XFree(text);
  XCloseDisplay(d);
  return 0;
}
