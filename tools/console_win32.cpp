#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include <cstdint>
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

// The C runtime's argv is in the ANSI code page, whose conversion maps characters it
// lacks to look-alikes ("３" to "3", "Ｄ" to "D"); the wide command line keeps them.
std::vector<std::string> arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr)
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
    args.push_back(std::move(arg));
  }
  LocalFree(wide);
  return args;
}

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

bool driver_without_board() {
  const HMODULE io = GetModuleHandleA("io.dll");  // only the one the library loaded
  if (!io) return false;
  using Installed = int32_t(WINAPI*)();
  const auto installed = reinterpret_cast<Installed>(reinterpret_cast<void*>(GetProcAddress(io, "IsDriverInstalled")));
  return installed && installed() == 0;
}

}  // namespace placa::console
