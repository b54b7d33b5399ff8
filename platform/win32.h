// The one include that gives the system's code its Win32 names.
// On Windows it is <windows.h>; elsewhere it declares the subset the system uses,
// implemented in platform/posix/.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "posix/win32_kernel.h"
#include "posix/win32_user.h"
#endif
