// The window model drawn on a display: what the X server sees, and the user's
// clicks and close boxes coming back as messages. Needs DISPLAY.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "posix/ui/posix_ui.h"
#include "win32.h"
#include "x11_close_request.h"

// The fonts FLTK draws with keep fontconfig's caches, which it never frees.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

const HINSTANCE kProgram = reinterpret_cast<HINSTANCE>(0x400000);
std::vector<std::pair<UINT, WPARAM>> received;

LRESULT CALLBACK Hides(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND || message == WM_CLOSE) received.push_back({message, wparam});
  if (message == WM_CLOSE) {
    ShowWindow(window, SW_HIDE);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// The test's own view of the X server, as another client.
class Observer {
 public:
  Observer() : display_(XOpenDisplay(nullptr)) {}
  ~Observer() {
    if (display_) XCloseDisplay(display_);
  }
  bool connected() const { return display_ != nullptr; }

  Window find(const std::string& title) { return find_below(DefaultRootWindow(display_), title); }

  bool viewable(Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(display_, w, &a) && a.map_state == IsViewable;
  }

  Window transient_for(Window w) {
    Window owner = 0;
    return XGetTransientForHint(display_, w, &owner) ? owner : 0;
  }

  void close(Window w) { send_close_request(display_, w); }

  void press(Window w, int x, int y) {
    for (int type : {ButtonPress, ButtonRelease}) {
      XEvent e{};
      e.xbutton.type = type;
      e.xbutton.window = w;
      e.xbutton.root = DefaultRootWindow(display_);
      e.xbutton.x = x;
      e.xbutton.y = y;
      e.xbutton.button = Button1;
      e.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
      e.xbutton.same_screen = True;
      XSendEvent(display_, w, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
    }
    XFlush(display_);
  }

 private:
  Window find_below(Window parent, const std::string& title) {
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, parent, &root, &up, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
      char* name = nullptr;
      if (XFetchName(display_, children[i], &name) && name) {
        if (title == name) found = children[i];
        XFree(name);
      }
      if (!found) found = find_below(children[i], title);
    }
    if (children) XFree(children);
    return found;
  }

  Display* display_;
};

// Keeps the windows' events flowing until `done` holds or the time is up.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(2)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    posix_ui::pump();
    if (done()) return true;
    Sleep(10);
  }
  return false;
}

class OnDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!observer_.connected() || !posix_ui::uses_display()) GTEST_SKIP() << "no display";
    posix_ui::reset();
    received.clear();
    WNDCLASSEXA c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = Hides;
    c.hInstance = kProgram;
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BACKGROUND);
    c.lpszClassName = "OnDisplay";
    ASSERT_NE(RegisterClassExA(&c), 0);
  }
  void TearDown() override { posix_ui::reset(); }

  HWND Create(const char* title, HWND owner = nullptr) {
    return CreateWindowExA(0, "OnDisplay", title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 370, 200, owner, nullptr, kProgram, nullptr);
  }

  Observer observer_;
};

TEST_F(OnDisplay, ShownWindowsAppearWithTheirTitleAndHiddenOnesGo) {
  HWND w = Create("fltk shown");
  posix_ui::pump();
  EXPECT_EQ(observer_.find("fltk shown"), 0u) << "created hidden";
  ShowWindow(w, SW_SHOWNORMAL);
  Window x = 0;
  EXPECT_TRUE(PumpUntil([&] { return (x = observer_.find("fltk shown")) && observer_.viewable(x); }));
  ShowWindow(w, SW_HIDE);
  EXPECT_TRUE(PumpUntil([&] {
    Window now = observer_.find("fltk shown");
    return !now || !observer_.viewable(now);
  }));
}

TEST_F(OnDisplay, AnOwnedWindowIsKeptAboveItsOwner) {
  HWND owner = Create("fltk owner");
  HWND owned = Create("fltk owned", owner);
  ShowWindow(owner, SW_SHOWNORMAL);
  ShowWindow(owned, SW_SHOWNORMAL);
  Window x_owner = 0, x_owned = 0;
  ASSERT_TRUE(PumpUntil([&] {
    return (x_owner = observer_.find("fltk owner")) && (x_owned = observer_.find("fltk owned"));
  }));
  EXPECT_EQ(observer_.transient_for(x_owned), x_owner);
  DestroyWindow(owner);
  EXPECT_TRUE(PumpUntil([&] {
    Window now = observer_.find("fltk owned");
    return !now || !observer_.viewable(now);
  })) << "destroyed with its owner";
}

TEST_F(OnDisplay, TheCloseBoxSendsWmClose) {
  HWND w = Create("fltk close");
  ShowWindow(w, SW_SHOWNORMAL);
  Window x = 0;
  ASSERT_TRUE(PumpUntil([&] { return (x = observer_.find("fltk close")) && observer_.viewable(x); }));
  observer_.close(x);
  ASSERT_TRUE(PumpUntil([] { return !received.empty(); }));
  EXPECT_EQ(received[0].first, static_cast<UINT>(WM_CLOSE));
  EXPECT_FALSE(posix_ui::describe(w)->visible) << "the procedure hid it";
}

TEST_F(OnDisplay, PressingAButtonSendsWmCommandToItsParent) {
  HWND w = Create("fltk button");
  CreateWindowExA(0, "button", "Press", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 10, 30, 150, 40,
                  w, reinterpret_cast<HMENU>(3), nullptr, nullptr);
  ShowWindow(w, SW_SHOWNORMAL);
  Window x = 0;
  ASSERT_TRUE(PumpUntil([&] { return (x = observer_.find("fltk button")) && observer_.viewable(x); }));
  observer_.press(x, 20, 40);
  ASSERT_TRUE(PumpUntil([] { return !received.empty(); }));
  EXPECT_EQ(received[0], (std::pair<UINT, WPARAM>{WM_COMMAND, MAKEWPARAM(3, BN_CLICKED)}));
  received.clear();
  observer_.press(x, 300, 150);
  PumpUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_TRUE(received.empty()) << "a press beside the button is no click";
}

TEST_F(OnDisplay, AMessageBoxFromAnotherThreadIsAskedOfTheDrawingThread) {
  std::atomic<int> answer{0};
  std::thread asker(
      [&] { answer = MessageBoxA(nullptr, "Error al crear el hilo", "fltk box", MB_OKCANCEL); });
  std::thread closer([] {
    Observer other;
    for (int i = 0; i < 200; ++i) {
      if (Window box = other.find("fltk box"); box && other.viewable(box)) {
        other.close(box);
        return;
      }
      Sleep(10);
    }
  });
  const bool answered = PumpUntil([&] { return answer != 0; });
  closer.join();
  if (!answered) {
    asker.detach();  // still waiting for an answer that will not come
    FAIL() << "no answer";
  }
  asker.join();
  EXPECT_EQ(answer, IDCANCEL) << "closing an OK/Cancel box is Cancel";
}

}  // namespace
