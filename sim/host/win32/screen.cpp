// The screen on Windows: top-level windows by their title, clicks as real mouse input
// (SendInput), so they reach the window as a user's would.
#include <windows.h>

#include "host/screen.h"
#include "panel/win32/ui.h"

namespace placasim {

namespace {

constexpr UINT kAnswerWaitMs = 200;

struct Search {
  std::wstring title;
  HWND found = nullptr;
};

// Top-level windows come top to bottom: the first match is the topmost.
BOOL CALLBACK match(HWND window, LPARAM search_address) {
  auto* search = reinterpret_cast<Search*>(search_address);
  if (!IsWindowVisible(window)) return TRUE;
  const int length = GetWindowTextLengthW(window);
  if (length != static_cast<int>(search->title.size())) return TRUE;
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  if (text != search->title) return TRUE;
  search->found = window;
  return FALSE;
}

HWND handle(Screen::Window w) { return reinterpret_cast<HWND>(w); }

class Win32Screen : public Screen {
 public:
  bool find(const std::string& title, Window* found, std::string*) override {
    Search search{wide(title)};
    EnumWindows(match, reinterpret_cast<LPARAM>(&search));
    *found = reinterpret_cast<Window>(search.found);
    return true;
  }

  bool raise(Window w, int* width, int* height, std::string* error) override {
    HWND window = handle(w);
    RECT client{};
    if (!IsWindow(window) || !GetClientRect(window, &client)) {
      *error = "the window went away";
      return false;
    }
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    // Windows gives the foreground only to the program the user works in; joined to
    // that program's input for a moment, placasim may pass it on.
    if (!SetForegroundWindow(window)) {
      const DWORD ours = GetCurrentThreadId();
      const DWORD theirs = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
      const bool joined = theirs && theirs != ours && AttachThreadInput(ours, theirs, TRUE);
      SetForegroundWindow(window);
      if (joined) AttachThreadInput(ours, theirs, FALSE);
    }
    BringWindowToTop(window);
    *width = client.right;
    *height = client.bottom;
    return true;
  }

  bool reaches(Window w, int x, int y) override {
    HWND window = handle(w);
    POINT p{x, y};
    if (!ClientToScreen(window, &p)) return false;
    const HWND at = WindowFromPoint(p);
    if (at != window && !IsChild(window, at)) return false;
    // Shown is not yet listening: its program must be answering its messages.
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerWaitMs, &answer) != 0;
  }

  bool click(Window w, int x, int y, std::string* error) override {
    POINT p{x, y};
    if (!ClientToScreen(handle(w), &p) || !SetCursorPos(p.x, p.y)) {
      *error = "cannot move the mouse pointer to the window";
      return false;
    }
    // The primary button, which a left-handed user's settings put on the right.
    const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    INPUT input[2]{};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = swapped ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = swapped ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    if (SendInput(2, input, sizeof(INPUT)) != 2) {
      *error = "the click was refused (another program blocks input, or one with higher rights owns the window)";
      return false;
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<Screen> system_screen() { return std::make_unique<Win32Screen>(); }

}  // namespace placasim
