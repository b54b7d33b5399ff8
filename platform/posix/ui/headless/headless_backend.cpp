// The backend without a display: windows exist only in the model, messages are
// waited for on the queue, and a message box is a line on standard error.
#include <cstdio>

#include "posix/ui/ui_backend.h"

namespace posix_ui::detail {
namespace {

class Headless final : public Backend {
 public:
  bool on_display() const override { return false; }
  void* create_top_level(HWND, const std::string&, int, int, int, int, uint32_t) override {
    return nullptr;
  }
  void* create_button(HWND, void*, const std::string&, int, int, int, int) override {
    return nullptr;
  }
  void show(void*, void*, Shown) override {}
  void destroy(void*) override {}
  void wait(std::unique_lock<std::mutex>& guard, std::condition_variable& posted) override {
    posted.wait(guard);
  }
  void handle_pending() override {}
  void wake() override {}
  int message_box(const char* text, const char* caption, UINT) override {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    std::fflush(stderr);
    return IDOK;
  }
};

}  // namespace

Backend& headless() {
  static Headless instance;
  return instance;
}

}  // namespace posix_ui::detail
