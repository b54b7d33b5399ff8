// Which backend draws the window model: FLTK when a display can be opened, else the
// headless one. Chosen once, at the first window or message box.
#include <atomic>
#include <mutex>

#include "posix_ui.h"
#include "ui_backend.h"

namespace {

std::atomic<bool> headless_forced{false};

}  // namespace

namespace posix_ui {

void force_headless() { headless_forced = true; }

bool uses_display() { return detail::backend().on_display(); }

}  // namespace posix_ui

namespace posix_ui::detail {

Backend& backend() {
  static Backend& chosen = [&]() -> Backend& {
    Backend* on_display = headless_forced ? nullptr : open_fltk();
    return on_display ? *on_display : headless();
  }();
  return chosen;
}

}  // namespace posix_ui::detail
