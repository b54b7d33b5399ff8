// Kernel side of the Win32 subset, over dlopen, pthreads and nanosleep.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef void* LPVOID;
typedef void* HANDLE;
typedef size_t SIZE_T;
typedef const char* LPCSTR;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef intptr_t (*FARPROC)();
typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID);
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// A name without an extension gets ".so"; the dynamic loader searches for it, so
// LD_LIBRARY_PATH and the caller's RUNPATH decide which file is found. Loads are
// counted as on Windows: a loaded library is found again by name and stays loaded
// until as many FreeLibrary calls have been made.
HMODULE LoadLibraryA(LPCSTR name);
// Resolved names are cached per module, so repeated look-ups cost a hash probe.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

// Milliseconds; Sleep(0) yields the processor.
void Sleep(DWORD milliseconds);

// Only creation flags 0 (run at once) are supported; others fail with a null handle.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stack_size,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                    LPDWORD thread_id);
// For thread handles: waits until the thread has ended.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);

// A console's stop requests: on POSIX SIGINT (CTRL_C_EVENT), SIGHUP (CTRL_CLOSE_EVENT)
// and SIGTERM (CTRL_SHUTDOWN_EVENT), passed by main() to the handler on a thread of
// their own. One handler; add FALSE removes it.
typedef BOOL (*PHANDLER_ROUTINE)(DWORD ctrl_type);
constexpr DWORD CTRL_C_EVENT = 0;
constexpr DWORD CTRL_CLOSE_EVENT = 2;
constexpr DWORD CTRL_SHUTDOWN_EVENT = 6;
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);
// For main(): the handler set, or null.
PHANDLER_ROUTINE console_ctrl_handler();
