// The one include that gives the system's code its Win32 names.
// On Windows it is <windows.h>; elsewhere it declares the subset the system uses,
// implemented in platform/posix/ (kernel/ and ui/).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "posix/kernel/win32_kernel.h"
#include "posix/ui/win32_user.h"
#endif
