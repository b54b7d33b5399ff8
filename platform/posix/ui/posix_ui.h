// Controls of the POSIX window model for tests: choosing the headless backend,
// acting as the user would, and looking at the windows.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win32_user.h"

namespace posix_ui {

// Use the headless backend even when a display could be opened. Call it before the
// first window or message box; afterwards the backend no longer changes.
void force_headless();
// True when windows are drawn on a display (chooses the backend if not yet chosen).
bool uses_display();

// A user's click: posts the click to the button's queue, as pressing it does. False
// (and nothing posted) unless the button and every window above it are visible.
bool click(HWND button);
// A user's click on a visible top-level window's close box.
bool click_close_box(HWND window);

struct WindowInfo {
  std::string class_name;
  std::string text;
  DWORD style = 0;
  int x = 0, y = 0, width = 0, height = 0;  // children: in their parent's client area
  HWND parent = nullptr;                      // WS_CHILD windows
  HWND owner = nullptr;                       // top-level windows
  int id = 0;                                 // control id of a child
  HINSTANCE instance = nullptr;
  bool visible = false;  // its own state, whatever its ancestors'
  bool minimized = false;
};
std::optional<WindowInfo> describe(HWND window);
// Every existing window, in the order of creation.
std::vector<HWND> windows();
HWND find_window(const std::string& title);           // top-level, first created
HWND find_child(HWND parent, const std::string& text);

// Dispatches what the calling thread's queue holds, without waiting; a pending quit
// stays pending. Returns how many messages were dispatched.
int pump();
// The exit code of a pending quit request of the calling thread.
std::optional<int> pending_quit();
// Called by GetMessageA on the calling thread instead of waiting on an empty queue;
// an empty function restores waiting.
void on_idle(std::function<void()> hook);

// Forgets every window, class, queued message and idle hook without sending anything.
void reset();

}  // namespace posix_ui
