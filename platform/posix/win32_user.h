// User-interface side of the Win32 subset.
#pragma once

#include "win32_kernel.h"

typedef struct HWND__* HWND;
typedef unsigned int UINT;

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Callable from any thread. With no display: caption and text on standard error, IDOK.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
