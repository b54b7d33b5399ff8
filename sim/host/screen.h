// The screen's top-level windows, as a script's "window" and "click" steps reach
// them: posix/screen.cpp on X11, win32/screen.cpp on Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace placasim {

class Screen {
 public:
  using Window = uintptr_t;  // 0: none
  virtual ~Screen() = default;
  // The topmost visible top-level window titled exactly title (UTF-8) in *found, 0
  // when there is none; false with *error when there is no screen to look at.
  virtual bool find(const std::string& title, Window* found, std::string* error) = 0;
  // Raises and activates it, and gives the size of its client area; false with *error
  // when it cannot.
  virtual bool raise(Window w, int* width, int* height, std::string* error) = 0;
  // Whether a click at x,y of its client area would reach it now: nothing covers it
  // there and its program takes input.
  virtual bool reaches(Window w, int x, int y) = 0;
  // Moves the pointer to x,y of its client area and clicks the left button there.
  virtual bool click(Window w, int x, int y, std::string* error) = 0;
  // How long the calls from now on may wait for the display (bounded.h).
  virtual void answer_within(int64_t /*ns*/) {}
};

// The system's screen, reached on first use: a script without window steps needs none.
std::unique_ptr<Screen> system_screen();

}  // namespace placasim
