// What the Win32 panel and Faults window share: their window class, colours, and text
// from the UTF-8 and '\n' the shared code writes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "panel/panel_look.h"

namespace placasim {

// Registers a top-level window class, with the common controls (ICC_*) it uses.
inline void register_window_class(const char* name, WNDPROC proc, DWORD controls) {
  INITCOMMONCONTROLSEX icc{sizeof icc, controls};
  InitCommonControlsEx(&icc);
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  RegisterClassA(&wc);
}

inline COLORREF gdi(look::Rgb c) { return RGB(c.r, c.g, c.b); }

// Windows does not show newlines in a static text as such.
inline std::string crlf(const std::string& s) {
  std::string out;
  for (const char c : s) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

inline std::wstring wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring w(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, w.data(), n);
  w.resize(w.size() - 1);  // the terminating null
  return w;
}

}  // namespace placasim
