// panel_probe on Windows: the panel's status is its static text control, which
// another process reads as any program reading the screen does.
#include <windows.h>

#include <cstdio>
#include <string>

#include "panel/panel_probe.h"

namespace {

HWND find(const char* title) {
  HWND w = FindWindowA(nullptr, title);
  if (!w) std::fprintf(stderr, "panel_probe: no window \"%s\"\n", title);
  return w;
}

BOOL CALLBACK print_static(HWND control, LPARAM) {
  char cls[16] = {};
  GetClassNameA(control, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") != 0) return TRUE;
  char text[4096] = {};
  DWORD_PTR n = 0;
  SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &n);
  std::string s;
  for (const char* c = text; *c; ++c)
    if (*c != '\r') s += *c;
  if (!s.empty()) std::printf("%s\n", s.c_str());
  return TRUE;
}

}  // namespace

int close_window(const char* title) {
  HWND w = find(title);
  if (!w) return 1;
  PostMessageA(w, WM_CLOSE, 0, 0);
  return 0;
}

int print_status(const char* title) {
  HWND w = find(title);
  if (!w) return 1;
  EnumChildWindows(w, print_static, 0);
  return 0;
}
