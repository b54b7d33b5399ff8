// Between the window model (windows.cpp) and the backends that draw it, one folder
// each: fltk/ on a display, headless/ without one. The model owns every window's
// state; a backend only draws it and turns the user's actions into messages posted
// through post_from_backend.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "win32_user.h"

namespace posix_ui::detail {

// Posts to the queue of the window's thread; callable from any thread.
void post_from_backend(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

enum class Shown { hidden, normal, minimized };

// A backend may be called from any thread; one that draws touches its widgets only
// on its drawing thread and treats calls from others as the headless one does.
class Backend {
 public:
  virtual ~Backend() = default;

  // True when windows are drawn on a display.
  virtual bool on_display() const = 0;

  // The peer that draws a window, or null. Sizes are the outer sizes of a Win32
  // window; a backend with a frame takes it off.
  virtual void* create_top_level(HWND window, const std::string& title, int x, int y,
                                 int width, int height, uint32_t background_rgb) = 0;
  virtual void* create_button(HWND button, void* parent, const std::string& text, int x, int y,
                              int width, int height) = 0;
  virtual void show(void* peer, void* owner, Shown state) = 0;
  virtual void destroy(void* peer) = 0;

  // Waits for a message: until `posted` is notified (the model's lock held in
  // `guard`), or for the display's events, handling them.
  virtual void wait(std::unique_lock<std::mutex>& guard, std::condition_variable& posted) = 0;
  // Handles the display's events already there, without waiting.
  virtual void handle_pending() = 0;
  // Ends a wait() after a message was posted.
  virtual void wake() = 0;

  virtual int message_box(const char* text, const char* caption, UINT type) = 0;
};

// The backends. open_fltk gives null when no display can be opened; it is called
// once, and the calling thread becomes the one that draws.
Backend* open_fltk();
Backend& headless();

// The backend in use, chosen at the first call.
Backend& backend();

}  // namespace posix_ui::detail
