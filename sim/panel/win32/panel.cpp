// The panel on Windows, with plain Win32: push buttons for the calls and switches,
// track bars for the analog inputs, a static text for the status, and the shaft,
// lamps and motors drawn with GDI. What it does is panel_model's, as on POSIX.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "faults_window/win32/fault_panel.h"
#include "host/stop_signals.h"
#include "panel/panel.h"
#include "panel/panel_look.h"
#include "panel/panel_model.h"
#include "panel/win32/ui.h"

namespace placasim {

namespace {

using namespace look;
constexpr int kFirstCallId = 100, kFirstSwitchId = 110, kFirstSliderId = 120, kFaultsId = 130;
// Where the lamp rows and motors are drawn, below the call buttons.
constexpr int kInputsY = 110, kOutputsY = 182, kMotorsY = 254;
// Where the switches and sliders start: the sliders where the FLTK panel has them.
constexpr int kControlsY = 326;

struct Panel {
  sim::SharedBoard* board;
  Calls* calls;
  HWND window = nullptr;
  HWND call_buttons[sim::kFloors] = {};
  HWND switches[2] = {};
  HWND sliders[sim::kAnalogInputs] = {};
  HWND warning = nullptr;
  HWND status = nullptr;
  HBRUSH backdrop = nullptr;
  HFONT bold = nullptr;
  View view{};
  std::string status_text;
  bool closed = false;
  const PanelOptions* options = nullptr;
  CommandState command_state;
  RuleWatch rules;
};

Panel* panel = nullptr;  // one panel per process
WNDPROC button_proc = nullptr;

void fill(HDC dc, int x, int y, int w, int h, COLORREF c) {
  const RECT r{x, y, x + w, y + h};
  HBRUSH b = CreateSolidBrush(c);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

void shape(HDC dc, COLORREF fill_color, COLORREF edge, void (*draw)(HDC, const int*), const int* points) {
  HBRUSH b = CreateSolidBrush(fill_color);
  HPEN p = CreatePen(PS_SOLID, 1, edge);
  HGDIOBJ ob = SelectObject(dc, b), op = SelectObject(dc, p);
  draw(dc, points);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(b);
  DeleteObject(p);
}

void lamp(HDC dc, int cx, int cy, int r, COLORREF on_color, bool on) {
  const int box[] = {cx - r, cy - r, cx + r, cy + r};
  shape(dc, on ? on_color : gdi(kLampOff), RGB(30, 33, 40), [](HDC d, const int* b) { Ellipse(d, b[0], b[1], b[2], b[3]); },
        box);
}

void triangle(HDC dc, int x0, int y0, int x1, int y1, int x2, int y2, COLORREF c) {
  const int pts[] = {x0, y0, x1, y1, x2, y2};
  shape(dc, c, c, [](HDC d, const int* v) {
    const POINT p[] = {{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}};
    Polygon(d, p, 3);
  }, pts);
}

void text(HDC dc, int x, int y, const std::string& s, COLORREF c = gdi(kText)) {
  SetTextColor(dc, c);
  TextOutA(dc, x, y, s.c_str(), static_cast<int>(s.size()));
}

// The shaft: three floors, their sensor lamps, the cabin at its position.
void draw_shaft(HDC dc, const View& v, int x, int y, int w, int h) {
  fill(dc, x, y, w, h, gdi(kBackdrop));
  const int well_x = x + 70, well_w = w - 130;
  fill(dc, well_x, y + 34, well_w, h - 56, gdi(kWell));
  fill(dc, well_x - 1, y + 34, 3, h - 56, gdi(kWall));
  fill(dc, well_x + well_w - 1, y + 34, 3, h - 56, gdi(kWall));
  text(dc, x + 8, y + 8, cabin_caption(v));
  const int cabin_h = cabin_height(h);
  auto floor_y = [&](double position) { return floor_line(position, y, h); };
  for (int floor = 1; floor <= sim::kFloors; ++floor) {
    const int fy = floor_y(floor);
    fill(dc, x + 8, fy, well_x - x - 8, 4, gdi(kWall));
    fill(dc, well_x + well_w, fy, x + w - well_x - well_w - 8, 4, gdi(kWall));
    text(dc, x + 8, fy - 22, "Floor " + std::to_string(floor));
    lamp(dc, x + w - 32, fy - 16, 9, gdi(kSensorOn), v.inputs & (1u << (sim::kFirstSensorInput + floor - 2)));
    text(dc, x + w - 48, fy - 44, "in " + std::to_string(sim::kFirstSensorInput + floor - 1));
  }
  const int cy = floor_y(v.state.position), cx = well_x + 8, cw = well_w - 16;
  fill(dc, cx, cy - cabin_h, cw, cabin_h, gdi(kCabinEdge));
  fill(dc, cx + 1, cy - cabin_h + 1, cw - 2, cabin_h - 2, gdi(kCabin));
  fill(dc, cx + cw / 2, cy - cabin_h + 6, 1, cabin_h - 8, gdi(kCabinEdge));
  if (v.moving) {
    const int ax = cx + cw / 2;
    if (sim::lift_drive(v.state.outputs) == sim::Drive::toward_top)
      triangle(dc, ax - 9, cy - cabin_h - 8, ax + 9, cy - cabin_h - 8, ax, cy - cabin_h - 18, gdi(kOutputOn));
    else
      triangle(dc, ax - 9, cy + 8, ax + 9, cy + 8, ax, cy + 18, gdi(kOutputOn));
  }
}

void draw_lamps(HDC dc, int y, const char* label, uint8_t bits, COLORREF on) {
  text(dc, kColumnX, y - 20, label);
  const int step = kColumnW / 8;
  for (int i = 0; i < 8; ++i) {
    const int cx = kColumnX + step * i + step / 2;
    lamp(dc, cx, y + 14, 9, on, bits & (1u << i));
    text(dc, cx - 4, y + 26, std::to_string(i + 1));
  }
}

void draw_motors(HDC dc, int y, uint8_t outputs) {
  text(dc, kColumnX, y - 20, kMotorsHeading);
  const int step = kColumnW / sim::kMotors;
  for (int m = 1; m <= sim::kMotors; ++m) {
    const int left = kColumnX + step * (m - 1) + 4, cy = y + 10, ax = left + 16;
    const char state = sim::motor_state(outputs, m);
    if (state == 'I')
      triangle(dc, ax + 8, cy - 9, ax + 8, cy + 9, ax - 8, cy, gdi(kOutputOn));
    else if (state == 'D')
      triangle(dc, ax - 8, cy - 9, ax - 8, cy + 9, ax + 8, cy, gdi(kOutputOn));
    else
      fill(dc, ax - 7, cy - 7, 14, 14, gdi(kLampOff));
    text(dc, left + 30, cy - 8, "M" + std::to_string(m) + " " + state);
  }
}

void paint(HWND window) {
  PAINTSTRUCT ps;
  HDC screen = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  // Drawn off screen first, so the moving cabin does not flicker.
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  HGDIOBJ old = SelectObject(dc, bitmap);
  fill(dc, 0, 0, client.right, client.bottom, gdi(kBackdrop));
  SetBkMode(dc, TRANSPARENT);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  const View& v = panel->view;
  draw_shaft(dc, v, kMargin, kMargin, kShaftW, client.bottom - 2 * kMargin);
  text(dc, kColumnX, kMargin, kCallsHeading);
  draw_lamps(dc, kInputsY, kInputsHeading, v.inputs, gdi(kSensorOn));
  draw_lamps(dc, kOutputsY, kOutputsHeading, v.state.outputs, gdi(kOutputOn));
  draw_motors(dc, kMotorsY, v.state.outputs);
  text(dc, kColumnX, kControlsY, kSwitchesHeading);
  text(dc, kColumnX, kControlsY + 64, kAnalogHeading);
  for (int i = 0; i < sim::kAnalogInputs; ++i) {
    char value[16];
    std::snprintf(value, sizeof value, "%s %3d", kAnalogLabels[i], v.state.analog[i]);
    text(dc, kColumnX, kControlsY + 88 + 30 * i + 4, value);
  }
  BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  EndPaint(window, &ps);
}

// The call buttons: held from the press, not from the click.
LRESULT CALLBACK call_button(HWND button, UINT msg, WPARAM wp, LPARAM lp) {
  const int call = static_cast<int>(GetWindowLongPtrA(button, GWLP_USERDATA));
  if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) panel->calls->press(call);
  if (msg == WM_LBUTTONUP) panel->calls->release(call);
  return CallWindowProcA(button_proc, button, msg, wp, lp);
}

void open_fault_window(sim::SharedBoard& board, bool activate);

LRESULT CALLBACK window_proc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      const bool warning = reinterpret_cast<HWND>(lp) == panel->warning;
      SetTextColor(reinterpret_cast<HDC>(wp), gdi(warning ? kWarningText : kDimText));
      SetBkColor(reinterpret_cast<HDC>(wp), gdi(kBackdrop));
      return reinterpret_cast<LRESULT>(panel->backdrop);
    }
    case WM_COMMAND: {
      const int id = LOWORD(wp);
      if (HIWORD(wp) == BN_CLICKED && id == kFaultsId) open_fault_window(*panel->board, true);
      if (HIWORD(wp) == BN_CLICKED && id >= kFirstSwitchId && id < kFirstSwitchId + 2)
        set_switch(*panel->board, id - kFirstSwitchId,
                   SendMessageA(reinterpret_cast<HWND>(lp), BM_GETCHECK, 0, 0) == BST_CHECKED);
      return 0;
    }
    case WM_HSCROLL:
      for (int i = 0; i < sim::kAnalogInputs; ++i)
        if (reinterpret_cast<HWND>(lp) == panel->sliders[i])
          set_analog(*panel->board, i + 1, static_cast<uint8_t>(SendMessageA(panel->sliders[i], TBM_GETPOS, 0, 0)));
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) panel->calls->release_keys();
      break;
    case WM_CLOSE:
      panel->closed = true;
      return 0;
  }
  return DefWindowProcA(window, msg, wp, lp);
}

HWND control(const char* cls, const char* title, DWORD style, int x, int y, int w, int h, int id) {
  return CreateWindowExA(0, cls, title, WS_CHILD | WS_VISIBLE | style, x, y, w, h, panel->window,
                         reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), GetModuleHandleA(nullptr), nullptr);
}

// Started from a shortcut or Explorer, placasim has a console of its own, an empty
// window beside the panel: hidden while the panel is the way to it. Started from a
// command prompt, the console is the prompt's, and stays.
void hide_own_console() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) == 1) ShowWindow(GetConsoleWindow(), SW_HIDE);
}

bool open_window(const std::string& title) {
  constexpr const char* kClass = "placasim-panel";
  register_window_class(kClass, window_proc, ICC_BAR_CLASSES);
  RECT frame{0, 0, kWindowW, kWindowH};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  AdjustWindowRect(&frame, style, FALSE);
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  // Beside the program's windows, which open near the top-left corner.
  panel->window = CreateWindowExA(0, kClass, title.c_str(), style, std::max<int>(work.left, work.right - w - 40),
                                  work.top + 40, w, h, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!panel->window) return false;

  const int bw = (kColumnW - 2 * 8) / 3;
  for (int i = 0; i < sim::kFloors; ++i) {
    HWND b = control("BUTTON", kCallLabels[i], BS_PUSHBUTTON, kColumnX + i * (bw + 8), kMargin + 24, bw, 46,
                     kFirstCallId + i);
    SetWindowLongPtrA(b, GWLP_USERDATA, i);
    button_proc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(call_button)));
    panel->call_buttons[i] = b;
  }
  for (int i = 0; i < 2; ++i) {
    panel->switches[i] = control("BUTTON", kSwitchLabels[i], BS_AUTOCHECKBOX | BS_PUSHLIKE,
                                 kColumnX + i * (kColumnW / 2), kControlsY + 20, kColumnW / 2 - 8, 32,
                                 kFirstSwitchId + i);
  }
  for (int i = 0; i < sim::kAnalogInputs; ++i) {
    panel->sliders[i] = control(TRACKBAR_CLASSA, "", TBS_HORZ | TBS_NOTICKS, kColumnX + 50, kControlsY + 88 + 30 * i,
                                kColumnW - 50, 24, kFirstSliderId + i);
    SendMessageA(panel->sliders[i], TBM_SETRANGE, FALSE, MAKELPARAM(0, 255));
  }
  HWND faults = control("BUTTON", kFaultsButton, BS_PUSHBUTTON, kColumnX + kColumnW - kFaultsButtonW, kControlsY - 2,
                        kFaultsButtonW, 22, kFaultsId);
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  SendMessageA(faults, WM_SETFONT, font, 0);
  // The warning wraps in a static of its own, so that it is read in full.
  const int y = kControlsY + 88 + 30 * sim::kAnalogInputs + 6;
  panel->warning = control("STATIC", "", SS_LEFT, kColumnX, y, kColumnW, kWarningH, 0);
  LOGFONTA lf{};
  GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  lf.lfWeight = FW_BOLD;
  panel->bold = CreateFontIndirectA(&lf);
  SendMessageA(panel->warning, WM_SETFONT, reinterpret_cast<WPARAM>(panel->bold), 0);
  panel->status = control("STATIC", "", SS_LEFT, kColumnX, y + kWarningH, kColumnW, kWindowH - kMargin - y - kWarningH, 0);
  SendMessageA(panel->status, WM_SETFONT, font, 0);
  ShowWindow(panel->window, SW_SHOWNORMAL);
  hide_own_console();
  return true;
}

// Left of the panel, as on POSIX.
void open_fault_window(sim::SharedBoard& board, bool activate) {
  RECT work{}, at{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(panel->window, &at);
  if (!show_fault_window(board, std::max<int>(work.left, at.left - fault_window_width() - 10), at.top, activate))
    std::fprintf(stderr, "placasim: cannot open the Faults window (Windows error %lu)\n", GetLastError());
}

void show(Panel& p, const View& v) {
  const bool changed = v.state.position != p.view.state.position || v.inputs != p.view.inputs ||
                       v.state.outputs != p.view.state.outputs || v.moving != p.view.moving ||
                       std::memcmp(v.state.analog, p.view.state.analog, sizeof v.state.analog) != 0;
  p.view = v;
  if (changed) InvalidateRect(p.window, nullptr, FALSE);
  for (int i = 0; i < sim::kFloors; ++i) SendMessageA(p.call_buttons[i], BM_SETSTATE, call_held(v, i), 0);
  for (int i = 0; i < 2; ++i)
    if ((SendMessageA(p.switches[i], BM_GETCHECK, 0, 0) == BST_CHECKED) != switch_on(v, i))
      SendMessageA(p.switches[i], BM_SETCHECK, switch_on(v, i) ? BST_CHECKED : BST_UNCHECKED, 0);
  // Another program may set the analog inputs too; leave a slider alone while dragged.
  for (int i = 0; i < sim::kAnalogInputs; ++i)
    if (GetCapture() != p.sliders[i] && SendMessageA(p.sliders[i], TBM_GETPOS, 0, 0) != v.state.analog[i])
      SendMessageA(p.sliders[i], TBM_SETPOS, TRUE, v.state.analog[i]);
  p.rules.follow(v);
  const StatusText status = status_of(p.board->name(), v, p.command_state, p.rules, !p.options->instructor);
  const std::string text = status.text();
  if (text != p.status_text) {
    p.status_text = text;
    SetWindowTextA(p.warning, crlf(status.warning).c_str());
    SetWindowTextA(p.status, crlf(status.body).c_str());
  }
}

// The call keys, whichever control has the focus: true when msg was one.
bool call_key(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP) return false;
  if (msg.hwnd != panel->window && !IsChild(panel->window, msg.hwnd)) return false;
  int key = static_cast<int>(msg.wParam);
  if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) key = '0' + key - VK_NUMPAD0;
  return panel->calls->key(key, msg.message == WM_KEYDOWN);
}

// F on the panel opens the Faults window again.
bool faults_key(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || static_cast<int>(msg.wParam) != std::toupper(kFaultsKey)) return false;
  if (msg.hwnd != panel->window && !IsChild(panel->window, msg.hwnd)) return false;
  open_fault_window(*panel->board, true);
  return true;
}

bool key_down(int key) { return GetAsyncKeyState(key) < 0 || GetAsyncKeyState(VK_NUMPAD0 + key - '0') < 0; }

void pump(int ms) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms), QS_ALLINPUT);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (panel && call_key(msg)) continue;
  if (panel && faults_key(msg)) continue;
    if (fault_window_key(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace

std::optional<int> show_panel(sim::SharedBoard& board, Child* command, const PanelOptions& options) {
  Calls calls(board);
  Panel p{};
  p.board = &board;
  p.options = &options;
  if (command) p.command_state.text = options.command_text;
  p.rules = RuleWatch(options.limits, command != nullptr);
  p.calls = &calls;
  p.backdrop = CreateSolidBrush(gdi(kBackdrop));
  panel = &p;
  if (!open_window(panel_title(board.name()))) {
    std::fprintf(stderr, "placasim: cannot open the panel (Windows error %lu); running without it\n", GetLastError());
    panel = nullptr;
    DeleteObject(p.backdrop);
    return std::nullopt;
  }
  if (!options.instructor) open_fault_window(board, false);
  int exit_code = -1;
  const auto frame_ms = static_cast<int>(kFrameSeconds * 1000);
  while (!p.closed && !panel_done(stop_requested, command, options.close_with_command, &p.command_state, &exit_code)) {
    calls.tick(key_down);
    show(p, view_of(board));
    pump(frame_ms);
  }
  close_fault_window();
  DestroyWindow(p.window);
  panel = nullptr;
  DeleteObject(p.backdrop);
  if (p.bold) DeleteObject(p.bold);
  p.rules.report();
  return exit_code;
}

void pass_time(int ms) { pump(ms); }

}  // namespace placasim
