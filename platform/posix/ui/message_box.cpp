#include "ui_backend.h"
#include "win32_user.h"

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "Error";  // Win32's caption when none is given
  return posix_ui::detail::backend().message_box(text, caption, type);
}
