// Entry routine of placaio.dll: nothing to set up or tear down, so loading never
// fails on the library's own account.
#include "win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
