// The Faults window on Windows: drop-down lists for the choices, edit boxes with
// up-down arrows for the numbers, push buttons, and static texts, where fault_form
// places them (the same places as the FLTK window's).
#include "faults_window/win32/fault_panel.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "faults_window/fault_form.h"
#include "panel/win32/ui.h"

namespace placasim {

namespace {

using namespace fault_form;
constexpr int kFirstFieldId = 200, kFirstButtonId = 220;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr int kDropDownH = 200;  // the open list of a choice
constexpr int kEditH = 20;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

struct Faults {
  sim::SharedBoard* board = nullptr;
  HWND window = nullptr;
  HWND fields[kFieldCount] = {};
  HWND active = nullptr;
  HWND focus = nullptr;  // the control that had the focus when the window was left
  HBRUSH backdrop = nullptr;
  HFONT bold = nullptr;
  std::string shown;
};
Faults* faults = nullptr;  // one window per process

std::string number_text(const FieldLayout& f, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", std::round(within(f, value) / f.step) * f.step);
  return text;
}

double field_value(int f) {
  const FieldLayout& layout = kFields[f];
  if (layout.count) return static_cast<double>(SendMessageA(faults->fields[f], CB_GETCURSEL, 0, 0) + 1);
  char text[32] = {};
  GetWindowTextA(faults->fields[f], text, sizeof text);
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  return end == text ? layout.initial : within(layout, v);
}

void show_active() {
  const std::string text = crlf(active_text(*faults->board));
  if (text == faults->shown) return;
  faults->shown = text;
  SetWindowTextA(faults->active, text.c_str());
}

LRESULT CALLBACK window_proc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  if (!faults) return DefWindowProcA(window, msg, wp, lp);
  switch (msg) {
    case WM_CTLCOLORSTATIC:
      SetTextColor(reinterpret_cast<HDC>(wp), gdi(look::kText));
      SetBkColor(reinterpret_cast<HDC>(wp), gdi(look::kBackdrop));
      return reinterpret_cast<LRESULT>(faults->backdrop);
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(window, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, faults->backdrop);
      return 1;
    }
    case WM_COMMAND: {
      const int b = LOWORD(wp) - kFirstButtonId;
      if (HIWORD(wp) == BN_CLICKED && b >= 0 && b < kButtonCount) {
        double values[kFieldCount];
        for (int f = 0; f < kFieldCount; ++f) values[f] = field_value(f);
        apply(*faults->board, button_step(b, values));
        show_active();
      }
      return 0;
    }
    case WM_NOTIFY: {
      // The arrows beside a number: one step up or down, within its range.
      const auto* change = reinterpret_cast<const NMUPDOWN*>(lp);
      const int f = static_cast<int>(change->hdr.idFrom) - kFirstFieldId;
      if (change->hdr.code == UDN_DELTAPOS && f >= 0 && f < kFieldCount) {
        const FieldLayout& layout = kFields[f];
        SetWindowTextA(faults->fields[f], number_text(layout, field_value(f) + change->iDelta * layout.step).c_str());
        return 1;  // the arrows keep no position of their own
      }
      return 0;
    }
    case WM_ACTIVATE:
      // As a dialog does: the focus comes back to the control that had it.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND f = GetFocus();
        if (f && IsChild(window, f)) faults->focus = f;
      } else if (!HIWORD(wp)) {  // not while minimised
        SetFocus(faults->focus ? faults->focus : GetNextDlgTabItem(window, nullptr, FALSE));
      }
      return 0;
    case WM_TIMER:
      show_active();  // a script or another panel may set faults too
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_NCDESTROY:  // the last message, after the controls are gone
      KillTimer(window, kRefreshTimer);
      DeleteObject(faults->backdrop);
      DeleteObject(faults->bold);
      delete faults;
      faults = nullptr;
      return 0;
  }
  return DefWindowProcA(window, msg, wp, lp);
}

HWND control(const wchar_t* cls, const std::string& text, DWORD style, int x, int y, int w, int h, int id,
             HFONT font) {
  HWND c = CreateWindowExW(0, cls, wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, faults->window,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  return c;
}

void make_field(int f, HFONT font) {
  const FieldLayout& layout = kFields[f];
  if (layout.count) {
    HWND c = control(L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, layout.x, layout.y, layout.w,
                     kRowH + kDropDownH, kFirstFieldId + f, font);
    for (int i = 1; i <= layout.count; ++i) SendMessageA(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item_text(layout, i).c_str()));
    SendMessageA(c, CB_SETCURSEL, static_cast<WPARAM>(layout.initial) - 1, 0);
    faults->fields[f] = c;
  } else {
    // A single-line edit box does not centre its text: it is made as high as the text.
    HWND edit = control(L"EDIT", number_text(layout, layout.initial), WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, layout.x,
                        layout.y + (kRowH - kEditH) / 2, layout.w, kEditH, 0, font);
    // The arrows take their place at the edit box's right and report by the field's id.
    HWND arrows = control(UPDOWN_CLASSW, "", UDS_ALIGNRIGHT | UDS_ARROWKEYS, 0, 0, 0, 0, kFirstFieldId + f, font);
    SendMessageA(arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    SendMessageA(arrows, UDM_SETRANGE32, static_cast<WPARAM>(-1000), 1000);
    faults->fields[f] = edit;
  }
}

void make_controls() {
  auto* font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (const Label& l : kLabels) control(L"STATIC", l.text, SS_LEFT | SS_CENTERIMAGE, l.x, l.y, kLabelW, kRowH, 0, faults->bold);
  // Tab goes through the controls in the order they are made: made in reading order,
  // row by row and left to right.
  struct Place {
    int y, x, field, button;
  };
  std::vector<Place> places;
  for (int f = 0; f < kFieldCount; ++f) places.push_back({kFields[f].y, kFields[f].x, f, -1});
  for (int b = 0; b < kButtonCount; ++b) places.push_back({kButtons[b].y, kButtons[b].x, -1, b});
  std::sort(places.begin(), places.end(), [](const Place& a, const Place& b) { return std::tie(a.y, a.x) < std::tie(b.y, b.x); });
  for (const Place& p : places) {
    if (p.field >= 0) {
      make_field(p.field, font);
    } else {
      const Button& b = kButtons[p.button];
      control(L"BUTTON", b.label, BS_PUSHBUTTON | WS_TABSTOP, b.x, b.y, b.w, kRowH, kFirstButtonId + p.button, font);
    }
  }
  faults->active = control(L"STATIC", "", SS_LEFT, kActiveBox.x, kActiveBox.y, kActiveBox.w, kActiveBox.h, 0, font);
}

RECT outer_frame() {
  RECT frame{0, 0, kW, kH};
  AdjustWindowRect(&frame, kStyle, FALSE);
  return frame;
}

}  // namespace

int fault_window_width() {
  const RECT r = outer_frame();
  return r.right - r.left;
}

bool show_fault_window(sim::SharedBoard& board, int x, int y, bool activate) {
  if (faults) {
    if (activate) SetForegroundWindow(faults->window);
    return true;
  }
  constexpr const char* kClass = "placasim-faults";
  register_window_class(kClass, window_proc, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES);
  faults = new Faults;
  faults->board = &board;
  faults->backdrop = CreateSolidBrush(gdi(look::kBackdrop));
  LOGFONTA lf{};
  GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  lf.lfWeight = FW_BOLD;
  faults->bold = CreateFontIndirectA(&lf);
  const RECT frame = outer_frame();
  faults->window = CreateWindowExA(0, kClass, kTitle, kStyle | WS_CLIPCHILDREN, x, y, frame.right - frame.left,
                                   frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!faults->window) {
    DeleteObject(faults->backdrop);
    DeleteObject(faults->bold);
    delete faults;
    faults = nullptr;
    return false;
  }
  make_controls();
  show_active();
  SetTimer(faults->window, kRefreshTimer, static_cast<UINT>(kRefreshSeconds * 1000), nullptr);
  ShowWindow(faults->window, activate ? SW_SHOW : SW_SHOWNOACTIVATE);
  return true;
}

void close_fault_window() {
  if (faults) DestroyWindow(faults->window);
}

bool fault_window_key(MSG& msg) {
  if (!faults || (msg.hwnd != faults->window && !IsChild(faults->window, msg.hwnd))) return false;
  // Escape hides the window, as on POSIX, whichever control has the focus; the panel
  // opens it again.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
    DestroyWindow(faults->window);
    return true;
  }
  // Enter becomes IDOK, which no control has: it does nothing.
  return IsDialogMessageA(faults->window, &msg);
}

}  // namespace placasim
