#include "host/bounded_screen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace placasim {

namespace {

// A display answers in milliseconds; a step with no time to spare still gets this.
constexpr int64_t kLeastLimitNs = 500'000'000;
using Clock = std::chrono::steady_clock;
constexpr auto kUnsetLimit = std::chrono::minutes(1);

// What the caller and the screen's thread share; it outlives whichever ends last.
struct Shared {
  std::mutex lock;
  std::condition_variable changed;
  std::function<void()> task;  // waiting to run
  bool done = false;           // the last task ran
  bool closing = false;
  std::unique_ptr<Screen> screen;
};

class BoundedScreen : public Screen {
 public:
  explicit BoundedScreen(std::unique_ptr<Screen> screen) : shared_(std::make_shared<Shared>()) {
    shared_->screen = std::move(screen);
    worker_ = std::thread([s = shared_] { serve(*s); });
  }
  ~BoundedScreen() override {
    {
      std::lock_guard<std::mutex> guard(shared_->lock);
      shared_->closing = true;
    }
    shared_->changed.notify_all();
    // A thread stuck in the display never returns; it keeps its share of the state.
    if (stuck_) worker_.detach();
    else worker_.join();
  }

  void answer_within(int64_t ns) override {
    limit_ns_ = std::max(ns, kLeastLimitNs);
    deadline_ = Clock::now() + std::chrono::nanoseconds(limit_ns_);
  }

  bool find(const std::string& title, Window* found, std::string* error) override {
    Answer a;
    if (!call([title](Screen& s, Answer& a) { a.ok = s.find(title, &a.window, &a.error); }, &a, error)) return false;
    *found = a.window;
    return a.ok || (*error = a.error, false);
  }
  bool raise(Window w, int* width, int* height, std::string* error) override {
    Answer a;
    if (!call([w](Screen& s, Answer& a) { a.ok = s.raise(w, &a.width, &a.height, &a.error); }, &a, error))
      return false;
    *width = a.width;
    *height = a.height;
    return a.ok || (*error = a.error, false);
  }
  bool reaches(Window w, int x, int y) override {
    Answer a;
    std::string ignored;
    return call([w, x, y](Screen& s, Answer& a) { a.ok = s.reaches(w, x, y); }, &a, &ignored) && a.ok;
  }
  bool click(Window w, int x, int y, std::string* error) override {
    Answer a;
    if (!call([w, x, y](Screen& s, Answer& a) { a.ok = s.click(w, x, y, &a.error); }, &a, error)) return false;
    return a.ok || (*error = a.error, false);
  }

 private:
  static void serve(Shared& s) {
    std::unique_lock<std::mutex> guard(s.lock);
    for (;;) {
      s.changed.wait(guard, [&] { return s.closing || s.task; });
      if (!s.task) return;
      auto task = std::move(s.task);
      s.task = nullptr;
      guard.unlock();
      task();
      guard.lock();
      s.done = true;
      s.changed.notify_all();
    }
  }

  // What a call gives back. The thread writes into a copy of its own, which a late
  // answer (after the caller gave up) can still reach.
  struct Answer {
    bool ok = false;
    Window window = 0;
    int width = 0, height = 0;
    std::string error;
  };

  // Runs f on the screen's thread; false with *error when the display did not answer
  // in time, now or before.
  bool call(std::function<void(Screen&, Answer&)> f, Answer* answer, std::string* error) {
    if (stuck_) {
      *error = stuck_error_;
      return false;
    }
    auto own = std::make_shared<Answer>();
    std::unique_lock<std::mutex> guard(shared_->lock);
    shared_->done = false;
    shared_->task = [s = shared_.get(), f = std::move(f), own] { f(*s->screen, *own); };
    shared_->changed.notify_all();
    const auto deadline = deadline_.value_or(Clock::now() + kUnsetLimit);
    if (!shared_->changed.wait_until(guard, deadline, [&] { return shared_->done; })) {
      stuck_ = true;
      stuck_error_ = "the display did not answer within " + seconds(limit_ns_) +
                     " s (is its server stopped?); windows are not looked at again in this run";
      *error = stuck_error_;
      return false;
    }
    *answer = *own;
    return true;
  }

  static std::string seconds(int64_t ns) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ns) / 1e9);
    return text;
  }

  std::shared_ptr<Shared> shared_;
  std::thread worker_;
  int64_t limit_ns_ = 0;
  std::optional<Clock::time_point> deadline_;  // none until a step sets one
  bool stuck_ = false;
  std::string stuck_error_;
};

}  // namespace

std::unique_ptr<Screen> bounded(std::unique_ptr<Screen> screen) {
  return std::make_unique<BoundedScreen>(std::move(screen));
}

}  // namespace placasim
