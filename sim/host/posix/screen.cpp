// The screen on X11. A window manager puts the programs' windows in frames of its
// own, so they are looked for anywhere near the top of the tree, by _NET_WM_NAME or
// else WM_NAME; clicks are real pointer events through the XTEST extension.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <cstring>

#include "host/screen.h"

namespace placasim {

namespace {

constexpr int kFrameDepth = 4;  // how deep window managers' frames nest a window
constexpr unsigned kLeftButton = 1;

// Windows come and go while they are looked at: their errors are counted, and must
// not end placasim as Xlib's own handler would.
int x_errors = 0;
int count_error(Display*, XErrorEvent*) {
  ++x_errors;
  return 0;
}

class ErrorsCounted {
 public:
  ErrorsCounted() : previous_(XSetErrorHandler(count_error)) { x_errors = 0; }
  ~ErrorsCounted() { XSetErrorHandler(previous_); }
  ErrorsCounted(const ErrorsCounted&) = delete;
  ErrorsCounted& operator=(const ErrorsCounted&) = delete;

 private:
  int (*previous_)(Display*, XErrorEvent*);
};

class X11Screen : public Screen {
 public:
  ~X11Screen() override {
    if (display_) XCloseDisplay(display_);
  }

  bool find(const std::string& title, Window* found, std::string* error) override {
    if (!connect(error)) return false;
    ErrorsCounted guard;
    *found = 0;
    search(DefaultRootWindow(display_), title, kFrameDepth, found);
    return true;
  }

  bool raise(Window w, int* width, int* height, std::string* error) override {
    ErrorsCounted guard;
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display_, w, &a) || a.map_state != IsViewable) {
      *error = "the window went away";
      return false;
    }
    // A window manager is asked as a pager would ask it; without one, the window is
    // raised and given the keyboard here.
    if (supports_active_window()) {
      XEvent e{};
      e.xclient.type = ClientMessage;
      e.xclient.window = w;
      e.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
      e.xclient.format = 32;
      e.xclient.data.l[0] = 2;  // from a pager or the like: honoured without focus-stealing rules
      e.xclient.data.l[1] = CurrentTime;
      XSendEvent(display_, a.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    } else {
      XSetInputFocus(display_, w, RevertToParent, CurrentTime);
    }
    XRaiseWindow(display_, w);
    XSync(display_, False);
    *width = a.width;
    *height = a.height;
    return true;
  }

  bool reaches(Window w, int x, int y) override {
    ErrorsCounted guard;
    int rx = 0, ry = 0;
    if (!to_root(w, x, y, &rx, &ry)) return false;
    // Down from the root, the topmost window at the point at each level.
    const ::Window root = DefaultRootWindow(display_);
    ::Window at = root;
    for (int depth = 0; depth < 2 * kFrameDepth; ++depth) {
      ::Window child = None;
      int cx = 0, cy = 0;
      if (!XTranslateCoordinates(display_, root, at, rx, ry, &cx, &cy, &child) || child == None) return false;
      if (child == w) return x_errors == 0;
      at = child;
    }
    return false;
  }

  bool click(Window w, int x, int y, std::string* error) override {
    int event = 0, reply = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &event, &reply, &major, &minor)) {
      *error = "the X server has no XTEST extension, which clicks need";
      return false;
    }
    ErrorsCounted guard;
    int rx = 0, ry = 0;
    if (!to_root(w, x, y, &rx, &ry)) {
      *error = "the window went away";
      return false;
    }
    XTestFakeMotionEvent(display_, -1, rx, ry, CurrentTime);
    XTestFakeButtonEvent(display_, kLeftButton, True, CurrentTime);
    XTestFakeButtonEvent(display_, kLeftButton, False, CurrentTime);
    XSync(display_, False);
    return true;
  }

 private:
  bool connect(std::string* error) {
    if (display_) return true;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
      *error = "no display to find windows on: DISPLAY is not set";
      return false;
    }
    display_ = XOpenDisplay(nullptr);
    if (!display_) *error = std::string("cannot open the display ") + name + " to find windows on";
    return display_ != nullptr;
  }

  Atom atom(const char* name) { return XInternAtom(display_, name, False); }

  std::string title_of(::Window w) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display_, w, atom("_NET_WM_NAME"), 0, 1024, False, atom("UTF8_STRING"), &type, &format,
                           &items, &left, &data) == Success && data && type != None && format == 8) {
      title.assign(reinterpret_cast<char*>(data), items);
      XFree(data);
      return title;
    }
    if (data) XFree(data);
    XTextProperty name{};
    if (!XGetWMName(display_, w, &name) || !name.value) return "";
    char** list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(display_, &name, &list, &count) >= Success && list && count > 0)
      title = list[0];
    if (list) XFreeStringList(list);
    XFree(name.value);
    return title;
  }

  // Children come bottom to top, so the last match is the topmost.
  void search(::Window parent, const std::string& title, int depth, Window* found) {
    ::Window root = None, up = None, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, parent, &root, &up, &children, &count)) return;
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes a{};
      if (!XGetWindowAttributes(display_, children[i], &a) || a.map_state != IsViewable) continue;
      if (title_of(children[i]) == title) *found = children[i];
      else if (depth > 1) search(children[i], title, depth - 1, found);
    }
    if (children) XFree(children);
  }

  bool supports_active_window() {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(display_, DefaultRootWindow(display_), atom("_NET_SUPPORTED"), 0, 4096, False, XA_ATOM,
                           &type, &format, &items, &left, &data) == Success && data && format == 32) {
      const Atom wanted = atom("_NET_ACTIVE_WINDOW");
      const auto* atoms = reinterpret_cast<const Atom*>(data);
      for (unsigned long i = 0; i < items && !found; ++i) found = atoms[i] == wanted;
    }
    if (data) XFree(data);
    return found;
  }

  bool to_root(Window w, int x, int y, int* rx, int* ry) {
    ::Window child = None;
    return XTranslateCoordinates(display_, w, DefaultRootWindow(display_), x, y, rx, ry, &child) && x_errors == 0;
  }

  Display* display_ = nullptr;
};

}  // namespace

std::unique_ptr<Screen> system_screen() { return std::make_unique<X11Screen>(); }

}  // namespace placasim
