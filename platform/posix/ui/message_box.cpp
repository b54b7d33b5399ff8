#include <cstdio>

#include "posix_ui.h"
#include "ui_backend.h"
#include "win32_user.h"

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "Error";  // Win32's caption when none is given
  if (posix_ui::uses_display()) return posix_ui::fltk::message_box(text, caption, type);
  std::fprintf(stderr, "[%s] %s\n", caption, text);
  std::fflush(stderr);
  return IDOK;
}
