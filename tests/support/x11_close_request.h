// Asks an X window to close as its title bar's close box does: the WM_DELETE_WINDOW
// message a window manager sends, without needing one.
#pragma once

#include <X11/Xlib.h>

inline void send_close_request(Display* display, Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, w, False, NoEventMask, &e);
  XFlush(display);
}
