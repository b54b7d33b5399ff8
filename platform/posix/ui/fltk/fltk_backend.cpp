// Draws the window model with FLTK 1.3 on X11. Every widget is made and used on the
// drawing thread (the one that opened the display); other threads only post
// messages and wake it, or ask it for a message box.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_ask.H>
#include <FL/x.H>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "posix/ui/ui_backend.h"

namespace posix_ui::detail {
namespace {

// A Win32 window's size includes its frame; FLTK sizes the client area.
constexpr int kFrameWidth = 8;
constexpr int kCaptionHeight = 23;

std::thread::id drawing_thread;
HWND handle_of(void* data) { return static_cast<HWND>(data); }

void close_box_pressed(Fl_Widget*, void* data) {
  // FLTK also calls this for Escape, which is no close box on Win32.
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  post_from_backend(handle_of(data), WM_SYSCOMMAND, SC_CLOSE, 0);
}

void button_pressed(Fl_Widget*, void* data) {
  post_from_backend(handle_of(data), BM_CLICK, 0, 0);
}

bool start() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return false;
  // FLTK ends the process when it cannot open the display, so try it first.
  Display* probe = XOpenDisplay(nullptr);
  if (probe == nullptr) return false;
  XCloseDisplay(probe);
  Fl::lock();  // enables Fl::awake from other threads
  fl_open_display();
  Fl::scheme("gtk+");
  drawing_thread = std::this_thread::get_id();
  return true;
}

bool on_drawing_thread() { return std::this_thread::get_id() == drawing_thread; }

void* fltk_top_level(HWND window, const std::string& title, int x, int y, int width,
                       int height, uint32_t background_rgb) {
  Fl_Group* previous = Fl_Group::current();
  const int client_width = std::max(width - 2 * kFrameWidth, 1);
  const int client_height = std::max(height - kCaptionHeight - kFrameWidth, 1);
  // Placed where the model says, also at the system's default position: a window
  // manager would put the windows there all on one spot, where Windows cascades them.
  auto* w = new Fl_Double_Window(x, y, client_width, client_height);
  w->end();
  Fl_Group::current(previous);
  w->copy_label(title.c_str());
  w->color(fl_rgb_color(static_cast<uchar>(background_rgb >> 16),
                        static_cast<uchar>(background_rgb >> 8),
                        static_cast<uchar>(background_rgb)));
  w->callback(close_box_pressed, window);
  return w;
}

void* fltk_button(HWND button, void* parent, const std::string& text, int x, int y, int width,
                    int height) {
  auto* window = static_cast<Fl_Window*>(static_cast<Fl_Widget*>(parent));
  Fl_Group* previous = Fl_Group::current();
  Fl_Group::current(nullptr);
  auto* b = new Fl_Button(x, y, width, height);
  Fl_Group::current(previous);
  b->copy_label(text.c_str());
  b->callback(button_pressed, button);
  b->hide();  // shown by WS_VISIBLE or ShowWindow, as on Win32
  window->add(b);
  return b;
}

void show_widget(void* peer, void* owner, Shown state) {
  auto* widget = static_cast<Fl_Widget*>(peer);
  Fl_Window* window = widget->as_window();
  if (window == nullptr) {
    if (state == Shown::hidden) widget->hide();
    else widget->show();
    return;
  }
  switch (state) {
    case Shown::hidden:
      window->hide();
      break;
    case Shown::normal:
      window->show();
      break;
    case Shown::minimized:
      window->show();
      window->iconize();
      break;
  }
  // Owned windows stay above their owner.
  if (state != Shown::hidden && owner) {
    auto* owner_window = static_cast<Fl_Widget*>(owner)->as_window();
    if (owner_window && owner_window->shown())
      XSetTransientForHint(fl_display, fl_xid(window), fl_xid(owner_window));
  }
  Fl::flush();
}

void destroy_widget(void* peer) {
  auto* widget = static_cast<Fl_Widget*>(peer);
  if (Fl_Group* parent = widget->parent()) parent->remove(widget);
  if (Fl_Window* window = widget->as_window()) window->hide();
  Fl::delete_widget(widget);
}

// The system asks with OK or OK/Cancel only. Closing the box answers as Escape does
// on Win32: Cancel when there is one.
int show_box(const char* text, const char* caption, UINT type) {
  fl_message_icon()->hide();
  fl_message_title(caption);
  if ((type & 0xF) != MB_OKCANCEL) {
    fl_choice_n("%s", "OK", nullptr, nullptr, text);
    return IDOK;
  }
  // Right to left, as FLTK places them, so they read as on Win32.
  return fl_choice_n("%s", "Cancel", "OK", nullptr, text) == 1 ? IDOK : IDCANCEL;
}

struct Request {
  const char* text = nullptr;
  const char* caption = nullptr;
  UINT type = MB_OK;
  int answer = 0;
  bool done = false;
  std::mutex lock;
  std::condition_variable answered;
};

void answer_request(void* data) {
  auto* request = static_cast<Request*>(data);
  const int answer = show_box(request->text, request->caption, request->type);
  std::lock_guard<std::mutex> guard(request->lock);
  request->answer = answer;
  request->done = true;
  request->answered.notify_all();
}

int box_on_drawing_thread(const char* text, const char* caption, UINT type) {
  if (on_drawing_thread()) return show_box(text, caption, type);
  // Dialogs belong to the drawing thread: ask it and wait for the answer.
  Request request;
  request.text = text;
  request.caption = caption;
  request.type = type;
  if (Fl::awake(answer_request, &request) != 0) {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return IDOK;
  }
  std::unique_lock<std::mutex> guard(request.lock);
  request.answered.wait(guard, [&] { return request.done; });
  return request.answer;
}

// Off the drawing thread a window has no widgets, as in the headless backend.
class Fltk final : public Backend {
 public:
  bool on_display() const override { return true; }
  void* create_top_level(HWND window, const std::string& title, int x, int y, int width,
                         int height, uint32_t background_rgb) override {
    if (!on_drawing_thread()) return nullptr;
    return fltk_top_level(window, title, x, y, width, height, background_rgb);
  }
  void* create_button(HWND button, void* parent, const std::string& text, int x, int y,
                      int width, int height) override {
    if (!on_drawing_thread()) return nullptr;
    return fltk_button(button, parent, text, x, y, width, height);
  }
  void show(void* peer, void* owner, Shown state) override {
    if (on_drawing_thread()) show_widget(peer, owner, state);
  }
  void destroy(void* peer) override {
    if (on_drawing_thread()) destroy_widget(peer);
  }
  void wait(std::unique_lock<std::mutex>& guard, std::condition_variable& posted) override {
    if (!on_drawing_thread()) return posted.wait(guard);
    guard.unlock();
    Fl::wait();
    guard.lock();
  }
  void handle_pending() override {
    if (on_drawing_thread()) Fl::check();
  }
  void wake() override { Fl::awake(); }
  int message_box(const char* text, const char* caption, UINT type) override {
    return box_on_drawing_thread(text, caption, type);
  }
};

}  // namespace

Backend* open_fltk() {
  static Fltk instance;
  return start() ? &instance : nullptr;
}

}  // namespace posix_ui::detail
