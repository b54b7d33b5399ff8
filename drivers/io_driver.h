// For port-driver libraries: the thirteen entry points every "io" exports, declared
// from the list the binding resolves, so a definition that drifts from the
// signatures the board binds to does not compile.
#pragma once

#include <cstdint>

#include "board/io_abi.h"

#ifdef _WIN32
#define IO_EXPORT __declspec(dllexport)
#else
#define IO_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
#define IO_ENTRY_POINT_DECLARATION(name, result, parameters) IO_EXPORT result WINAPI name parameters;
IO_ENTRY_POINTS(IO_ENTRY_POINT_DECLARATION)
#undef IO_ENTRY_POINT_DECLARATION
}
