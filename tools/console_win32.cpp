#include <windows.h>
#include <io.h>

#include <cstdio>

#include "console.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace placa::console {

namespace {

std::atomic<bool> stop_requested{false};

BOOL WINAPI on_control(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  stop_requested.store(true);
  return TRUE;
}

}  // namespace

bool stdout_is_terminal() { return _isatty(_fileno(stdout)) != 0; }

bool begin_live_view() {
  SetConsoleCtrlHandler(on_control, TRUE);
  // Consoles before Windows 10 take no escape sequences: frames then follow each other.
  const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) return false;
  return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

const std::atomic<bool>& interrupted() { return stop_requested; }

}  // namespace placa::console
