// The window model behind win32_user.h, drawn by the backend of ui_backend.h:
// window classes, windows with their owners and children, and one message queue per
// thread. Window procedures are always called without the model's lock held, so
// they may call back into any of these functions.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <strings.h>
#include <thread>
#include <unordered_map>

#include "posix_ui.h"
#include "ui_backend.h"
#include "win32_user.h"

namespace {

using posix_ui::detail::backend;
using posix_ui::detail::Shown;

// Handles are never reused, so a stale one finds nothing instead of another window.
constexpr uintptr_t kFirstHandle = 0x10010;
constexpr uintptr_t kHandleStep = 4;
constexpr ATOM kFirstAtom = 0xC000;
constexpr ATOM kLastAtom = 0xFFFF;
// Pointers at or below this are resource ids or atoms, not strings.
constexpr uintptr_t kMaxIntResource = 0xFFFF;

// Where and how big a window is when the creator leaves it to the system. The
// cascade starts clear of the screen's top-left corner, where windows that choose no
// position of their own (SDL's among them) appear.
constexpr int kCascadeOriginX = 240;
constexpr int kCascadeOriginY = 40;
constexpr int kCascadeStep = 30;
constexpr int kCascadeSlots = 8;
constexpr int kDefaultWidth = 480;
constexpr int kDefaultHeight = 320;

constexpr const char* kButtonClass = "button";

// System colours by index (brush value minus one); others get the dialog face.
constexpr uint32_t kColourScrollbar = 0xC8C8C8;
constexpr uint32_t kColourDesktop = 0x000000;
constexpr uint32_t kColourWindow = 0xFFFFFF;
constexpr uint32_t kColourFace = 0xF0F0F0;
constexpr uintptr_t kSystemColours = 31;

struct WindowClass {
  std::string name;
  ATOM atom = 0;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  HBRUSH background = nullptr;
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<const WindowClass> window_class;
  std::string text;
  DWORD style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  HWND parent = nullptr;
  HWND owner = nullptr;
  int id = 0;
  HINSTANCE instance = nullptr;
  bool visible = false;
  bool minimized = false;
  bool destroying = false;
  std::thread::id thread;
  std::vector<HWND> children;
  void* peer = nullptr;
};

struct Queue {
  std::deque<MSG> posted;
  std::optional<int> quit;
  std::condition_variable changed;
  std::function<void()> idle;
};

struct Model {
  std::mutex lock;
  std::vector<std::shared_ptr<WindowClass>> classes;
  std::shared_ptr<WindowClass> button_class;
  std::unordered_map<HWND, std::shared_ptr<Window>> windows;
  std::vector<HWND> creation_order;
  std::unordered_map<std::thread::id, std::shared_ptr<Queue>> queues;
  uintptr_t next_handle = kFirstHandle;
  ATOM next_atom = kFirstAtom;
  int cascade = 0;
};

LRESULT CALLBACK button_procedure(HWND button, UINT message, WPARAM wparam, LPARAM lparam);

// Never destroyed: windows and message boxes may be used from exit handlers.
Model& model() {
  static Model* instance = [] {
    auto* m = new Model;
    m->button_class = std::make_shared<WindowClass>();
    m->button_class->name = kButtonClass;
    m->button_class->proc = button_procedure;
    return m;
  }();
  return *instance;
}

bool is_int_resource(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) <= kMaxIntResource; }

std::shared_ptr<Window> find(Model& m, HWND handle) {
  auto found = m.windows.find(handle);
  return found == m.windows.end() ? nullptr : found->second;
}

std::shared_ptr<Queue> queue_of(Model& m, std::thread::id thread) {
  auto& queue = m.queues[thread];
  if (!queue) queue = std::make_shared<Queue>();
  return queue;
}

std::shared_ptr<const WindowClass> find_class(Model& m, LPCSTR name, HINSTANCE instance) {
  if (is_int_resource(name)) {
    const auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
    for (const auto& c : m.classes)
      if (c->atom == atom) return c;
    return nullptr;
  }
  for (const auto& c : m.classes)
    if (c->instance == instance && strcasecmp(c->name.c_str(), name) == 0) return c;
  if (strcasecmp(name, kButtonClass) == 0) return m.button_class;
  return nullptr;
}

HWND top_level_of(Model& m, HWND handle) {
  for (auto w = find(m, handle); w; w = find(m, w->parent))
    if (!w->parent) return w->handle;
  return nullptr;
}

// The window and its children, parents before children.
void collect_subtree(Model& m, HWND handle, std::vector<HWND>& out) {
  auto w = find(m, handle);
  if (!w) return;
  out.push_back(handle);
  for (HWND child : w->children) collect_subtree(m, child, out);
}

uint32_t background_of(HBRUSH brush) {
  const auto value = reinterpret_cast<uintptr_t>(brush);
  if (value == 0 || value > kSystemColours) return kColourFace;
  switch (static_cast<intptr_t>(value - 1)) {
    case COLOR_SCROLLBAR: return kColourScrollbar;
    case COLOR_BACKGROUND: return kColourDesktop;
    case COLOR_WINDOW: return kColourWindow;
    default: return kColourFace;
  }
}

DWORD now_ms() {
  using namespace std::chrono;
  return static_cast<DWORD>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool post(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  Model& m = model();
  {
    std::lock_guard<std::mutex> guard(m.lock);
    auto w = find(m, handle);
    if (!w) return false;
    auto queue = queue_of(m, w->thread);
    queue->posted.push_back(MSG{handle, message, wparam, lparam, now_ms(), POINT{0, 0}});
    queue->changed.notify_all();
  }
  backend().wake();
  return true;
}

bool is_descendant_or_self(Model& m, HWND window, HWND ancestor) {
  for (auto w = find(m, window); w; w = find(m, w->parent))
    if (w->handle == ancestor) return true;
  return false;
}

bool matches(Model& m, const MSG& message, HWND filter, UINT first, UINT last) {
  if (filter && !is_descendant_or_self(m, message.hwnd, filter)) return false;
  if (first == 0 && last == 0) return true;
  return message.message >= first && message.message <= last;
}

bool take(Model& m, Queue& queue, HWND filter, UINT first, UINT last, MSG* out,
          bool remove = true) {
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (matches(m, *it, filter, first, last)) {
      *out = *it;
      if (remove) queue.posted.erase(it);
      return true;
    }
  }
  return false;
}

// A pending quit request becomes WM_QUIT once the posted messages are taken, and only
// for a fetch without a window filter whose range holds it.
bool take_quit(Queue& queue, HWND filter, UINT first, UINT last, MSG* out, bool remove) {
  const bool quit_in_range = (first == 0 && last == 0) || (first <= WM_QUIT && WM_QUIT <= last);
  if (!queue.quit || filter != nullptr || !quit_in_range) return false;
  *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(*queue.quit), 0, now_ms(), POINT{0, 0}};
  if (remove) queue.quit.reset();
  return true;
}

// A user can only reach a window that is shown, as are all the windows it sits in.
bool reachable(Model& m, HWND handle) {
  for (auto w = find(m, handle); w; w = find(m, w->parent)) {
    if (!w->visible || w->destroying) return false;
    if (!w->parent) return !w->minimized;
  }
  return false;
}

LRESULT CALLBACK button_procedure(HWND button, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != BM_CLICK) return DefWindowProcA(button, message, wparam, lparam);
  HWND parent = nullptr;
  int id = 0;
  {
    Model& m = model();
    std::lock_guard<std::mutex> guard(m.lock);
    auto w = find(m, button);
    if (!w) return 0;
    parent = w->parent;
    id = w->id;
  }
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  return 0;
}

}  // namespace

namespace posix_ui::detail {

void post_from_backend(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  post(window, message, wparam, lparam);
}

}  // namespace posix_ui::detail

ATOM RegisterClassExA(const WNDCLASSEXA* window_class) {
  if (window_class == nullptr || window_class->cbSize != sizeof(WNDCLASSEXA) ||
      window_class->lpfnWndProc == nullptr || window_class->lpszClassName == nullptr ||
      is_int_resource(window_class->lpszClassName) || *window_class->lpszClassName == '\0')
    return 0;
  Model& m = model();
  std::lock_guard<std::mutex> guard(m.lock);
  for (const auto& c : m.classes)
    if (c->instance == window_class->hInstance &&
        strcasecmp(c->name.c_str(), window_class->lpszClassName) == 0)
      return 0;
  if (m.next_atom == kLastAtom) return 0;
  auto c = std::make_shared<WindowClass>();
  c->name = window_class->lpszClassName;
  c->atom = m.next_atom++;
  c->proc = window_class->lpfnWndProc;
  c->instance = window_class->hInstance;
  c->background = window_class->hbrBackground;
  m.classes.push_back(c);
  return c->atom;
}

namespace {

constexpr uintptr_t kStockIds[] = {32512, 32513, 32514, 32515, 32516};
char stock_icons[std::size(kStockIds)];
char stock_cursors[std::size(kStockIds)];

char* stock(char* objects, HINSTANCE instance, LPCSTR name) {
  if (instance != nullptr || name == nullptr || !is_int_resource(name)) return nullptr;
  const auto id = reinterpret_cast<uintptr_t>(name);
  for (size_t i = 0; i < std::size(kStockIds); ++i)
    if (kStockIds[i] == id) return &objects[i];
  return nullptr;
}

}  // namespace

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  return reinterpret_cast<HICON>(stock(stock_icons, instance, name));
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  return reinterpret_cast<HCURSOR>(stock(stock_cursors, instance, name));
}

HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  if (class_name == nullptr) return nullptr;
  Model& m = model();
  auto w = std::make_shared<Window>();
  void* parent_peer = nullptr;
  {
    std::lock_guard<std::mutex> guard(m.lock);
    w->window_class = find_class(m, class_name, instance);
    if (!w->window_class) return nullptr;
    if (style & WS_CHILD) {
      auto p = find(m, parent);
      if (!p || p->destroying) return nullptr;
      w->parent = parent;
      w->id = static_cast<int>(reinterpret_cast<intptr_t>(menu));
      if (!p->parent) parent_peer = p->peer;
      if (x == CW_USEDEFAULT) x = y = 0;
      if (width == CW_USEDEFAULT) width = height = 0;
    } else {
      if (parent) {
        auto p = find(m, parent);
        if (!p || p->destroying) return nullptr;
        w->owner = top_level_of(m, parent);
      }
      if (x == CW_USEDEFAULT) {
        const int slot = m.cascade++ % kCascadeSlots;
        x = kCascadeOriginX + kCascadeStep * slot;
        y = kCascadeOriginY + kCascadeStep * slot;
      }
      if (width == CW_USEDEFAULT) {
        width = kDefaultWidth;
        height = kDefaultHeight;
      }
    }
    w->handle = reinterpret_cast<HWND>(m.next_handle);
    m.next_handle += kHandleStep;
    w->text = window_name && !is_int_resource(window_name) ? window_name : "";
    w->style = style;
    w->x = x;
    w->y = y;
    w->width = std::max(width, 0);
    w->height = std::max(height, 0);
    w->instance = instance;
    w->thread = std::this_thread::get_id();
    m.windows[w->handle] = w;
    m.creation_order.push_back(w->handle);
    if (w->parent) find(m, w->parent)->children.push_back(w->handle);
  }

  void* peer = nullptr;
  if (!w->parent)
    peer = backend().create_top_level(w->handle, w->text, w->x, w->y, w->width, w->height,
                                      background_of(w->window_class->background));
  else if (w->window_class == m.button_class && parent_peer)
    peer = backend().create_button(w->handle, parent_peer, w->text, w->x, w->y, w->width,
                                   w->height);
  {
    std::lock_guard<std::mutex> guard(m.lock);
    w->peer = peer;
  }

  CREATESTRUCTA create{param,     instance,    menu,  parent,      w->height, w->width,
                       w->y,      w->x,        static_cast<LONG>(style), window_name, class_name,
                       ex_style};
  const HWND handle = w->handle;
  if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> guard(m.lock);
    auto alive = find(m, handle);
    if (!alive || alive->destroying) return nullptr;
  }
  if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  return handle;
}

BOOL DestroyWindow(HWND handle) {
  Model& m = model();
  std::vector<HWND> owned;
  {
    std::lock_guard<std::mutex> guard(m.lock);
    auto w = find(m, handle);
    if (!w) return FALSE;
    if (w->destroying) return TRUE;
    w->destroying = true;
    for (HWND other : m.creation_order)
      if (auto o = find(m, other); o && o->owner == handle && !o->destroying) owned.push_back(other);
  }
  for (HWND o : owned) DestroyWindow(o);

  std::vector<HWND> subtree;
  void* peer = nullptr;
  {
    std::lock_guard<std::mutex> guard(m.lock);
    collect_subtree(m, handle, subtree);
    for (HWND h : subtree) find(m, h)->destroying = true;
    peer = find(m, handle)->peer;
  }
  if (peer) backend().show(peer, nullptr, Shown::hidden);
  for (HWND h : subtree) SendMessageA(h, WM_DESTROY, 0, 0);

  std::vector<void*> peers;
  {
    std::lock_guard<std::mutex> guard(m.lock);
    // Windows created during WM_DESTROY go with their parent too.
    subtree.clear();
    collect_subtree(m, handle, subtree);
    for (auto it = subtree.rbegin(); it != subtree.rend(); ++it) {
      auto w = find(m, *it);
      if (w->peer) peers.push_back(w->peer);
      if (auto p = find(m, w->parent)) std::erase(p->children, *it);
      m.windows.erase(*it);
      std::erase(m.creation_order, *it);
    }
  }
  for (void* p : peers) backend().destroy(p);
  return TRUE;
}

BOOL ShowWindow(HWND handle, int command) {
  Model& m = model();
  Shown state;
  void* peer = nullptr;
  void* owner_peer = nullptr;
  bool was_visible;
  {
    std::lock_guard<std::mutex> guard(m.lock);
    auto w = find(m, handle);
    if (!w) return FALSE;
    was_visible = w->visible;
    switch (command) {
      case SW_HIDE:
        w->visible = false;
        break;
      case SW_SHOWMINIMIZED:
      case SW_MINIMIZE:
      case SW_SHOWMINNOACTIVE:
      case SW_FORCEMINIMIZE:
        w->visible = true;
        w->minimized = true;
        break;
      case SW_SHOWNORMAL:
      case SW_RESTORE:
      case SW_SHOWDEFAULT:
        w->visible = true;
        w->minimized = false;
        break;
      case SW_SHOWMAXIMIZED:
      case SW_SHOWNOACTIVATE:
      case SW_SHOW:
      case SW_SHOWNA:
        w->visible = true;
        break;
      default:
        return was_visible;
    }
    state = !w->visible ? Shown::hidden : w->minimized ? Shown::minimized : Shown::normal;
    peer = w->peer;
    if (auto o = find(m, w->owner)) owner_peer = o->peer;
  }
  if (peer) backend().show(peer, owner_peer, state);
  return was_visible ? TRUE : FALSE;
}

LRESULT SendMessageA(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  WNDPROC proc = nullptr;
  {
    Model& m = model();
    std::lock_guard<std::mutex> guard(m.lock);
    auto w = find(m, handle);
    if (!w) return 0;
    proc = w->window_class->proc;
  }
  return proc(handle, message, wparam, lparam);
}

BOOL PostMessageA(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  return post(handle, message, wparam, lparam) ? TRUE : FALSE;
}

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(handle);
      return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_CLOSE) SendMessageA(handle, WM_CLOSE, 0, 0);
      return 0;
    default:
      return 0;
  }
}

void PostQuitMessage(int exit_code) {
  Model& m = model();
  std::lock_guard<std::mutex> guard(m.lock);
  auto queue = queue_of(m, std::this_thread::get_id());
  queue->quit = exit_code;
  queue->changed.notify_all();
}

BOOL GetMessageA(LPMSG message, HWND window, UINT first, UINT last) {
  if (message == nullptr) return -1;
  posix_ui::detail::Backend& ui = backend();
  Model& m = model();
  std::unique_lock<std::mutex> guard(m.lock);
  if (window && !find(m, window)) return -1;
  auto queue = queue_of(m, std::this_thread::get_id());
  for (;;) {
    if (take(m, *queue, window, first, last, message)) return TRUE;
    if (take_quit(*queue, window, first, last, message, true)) return FALSE;
    if (queue->idle) {
      auto hook = queue->idle;
      guard.unlock();
      hook();
      guard.lock();
    } else {
      ui.wait(guard, queue->changed);
    }
  }
}

BOOL PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) {
  if (message == nullptr) return FALSE;
  backend().handle_pending();
  Model& m = model();
  std::lock_guard<std::mutex> guard(m.lock);
  if (window && !find(m, window)) return FALSE;
  auto queue = queue_of(m, std::this_thread::get_id());
  const bool take_it = (remove & PM_REMOVE) != 0;
  return take(m, *queue, window, first, last, message, take_it) ||
         take_quit(*queue, window, first, last, message, take_it);
}

BOOL TranslateMessage(const MSG*) { return FALSE; }  // no keyboard messages to translate

LRESULT DispatchMessageA(const MSG* message) {
  if (message == nullptr) return 0;
  return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

namespace posix_ui {

bool click(HWND button) {
  {
    Model& m = model();
    std::lock_guard<std::mutex> guard(m.lock);
    auto w = find(m, button);
    if (!w || w->window_class != m.button_class || !reachable(m, button)) return false;
  }
  return post(button, BM_CLICK, 0, 0);
}

bool click_close_box(HWND window) {
  {
    Model& m = model();
    std::lock_guard<std::mutex> guard(m.lock);
    auto w = find(m, window);
    if (!w || w->parent || !(w->style & WS_SYSMENU) || !reachable(m, window)) return false;
  }
  return post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::optional<WindowInfo> describe(HWND window) {
  Model& m = model();
  std::lock_guard<std::mutex> guard(m.lock);
  auto w = find(m, window);
  if (!w) return std::nullopt;
  WindowInfo info;
  info.class_name = w->window_class->name;
  info.text = w->text;
  info.style = w->style;
  info.x = w->x;
  info.y = w->y;
  info.width = w->width;
  info.height = w->height;
  info.parent = w->parent;
  info.owner = w->owner;
  info.id = w->id;
  info.instance = w->instance;
  info.visible = w->visible;
  info.minimized = w->minimized;
  return info;
}

std::vector<HWND> windows() {
  Model& m = model();
  std::lock_guard<std::mutex> guard(m.lock);
  return m.creation_order;
}

HWND find_window(const std::string& title) {
  Model& m = model();
  std::lock_guard<std::mutex> guard(m.lock);
  for (HWND h : m.creation_order)
    if (auto w = find(m, h); !w->parent && w->text == title) return h;
  return nullptr;
}

HWND find_child(HWND parent, const std::string& text) {
  Model& m = model();
  std::lock_guard<std::mutex> guard(m.lock);
  auto p = find(m, parent);
  if (!p) return nullptr;
  for (HWND h : p->children)
    if (find(m, h)->text == text) return h;
  return nullptr;
}

int pump() {
  backend().handle_pending();
  Model& m = model();
  int dispatched = 0;
  for (;;) {
    MSG message;
    {
      std::lock_guard<std::mutex> guard(m.lock);
      auto queue = queue_of(m, std::this_thread::get_id());
      if (!take(m, *queue, nullptr, 0, 0, &message)) return dispatched;
    }
    DispatchMessageA(&message);
    ++dispatched;
  }
}

std::optional<int> pending_quit() {
  Model& m = model();
  std::lock_guard<std::mutex> guard(m.lock);
  return queue_of(m, std::this_thread::get_id())->quit;
}

void on_idle(std::function<void()> hook) {
  Model& m = model();
  std::lock_guard<std::mutex> guard(m.lock);
  queue_of(m, std::this_thread::get_id())->idle = std::move(hook);
}

void reset() {
  Model& m = model();
  std::vector<void*> peers;
  {
    std::lock_guard<std::mutex> guard(m.lock);
    for (auto it = m.creation_order.rbegin(); it != m.creation_order.rend(); ++it)
      if (void* p = find(m, *it)->peer) peers.push_back(p);
    m.windows.clear();
    m.creation_order.clear();
    m.classes.clear();
    for (auto& [thread, queue] : m.queues) {
      queue->posted.clear();
      queue->quit.reset();
      queue->idle = nullptr;
    }
    m.cascade = 0;
    m.next_atom = kFirstAtom;
  }
  for (void* p : peers) backend().destroy(p);
}

}  // namespace posix_ui
