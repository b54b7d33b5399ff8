// Children on Windows. The loader has no search path to put the simulated io.dll first
// without also changing where programs started on their own look, so placasim loads
// the simulated io.dll into each command itself, before the command runs: the binding's
// LoadLibraryA("io") then finds the module already loaded and never searches.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "command_line.h"
#include "host/child.h"
#include "shared_board.h"

namespace placasim {

namespace {

constexpr int kCannotStart = 127;
constexpr int kKilled = 128 + 9;  // as a command killed with SIGKILL reports on POSIX
constexpr int kStopPollMs = 10;
constexpr DWORD kInjectWaitMs = 10000;

std::string& injected_driver() {
  static std::string path;
  return path;
}

std::string error_text(DWORD code) {
  char buffer[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                 sizeof buffer, nullptr);
  std::string text = buffer;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return text.empty() ? "Windows error " + std::to_string(code) : text;
}

// Runs LoadLibraryA(path) in the suspended process. kernel32 lies at the same address
// in every process of a session, so our LoadLibraryA is the child's too.
bool load_into(HANDLE process, const std::string& path, std::string* error) {
  const SIZE_T size = path.size() + 1;
  void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  bool ok = remote && WriteProcessMemory(process, remote, path.c_str(), size, nullptr);
  HANDLE thread = nullptr;
  if (ok) {
    auto* load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    thread = CreateRemoteThread(process, nullptr, 0, load, remote, 0, nullptr);
    ok = thread && WaitForSingleObject(thread, kInjectWaitMs) == WAIT_OBJECT_0;
  }
  DWORD module = 0;
  if (ok) ok = GetExitCodeThread(thread, &module) && module != 0;
  if (!ok) *error = "cannot load the simulated board " + path + " into the command";
  if (thread) CloseHandle(thread);
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return ok;
}

BOOL CALLBACK close_window(HWND window, LPARAM process_id) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(process_id)) PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}

// The commands end with placasim, however it ends: one that outlived it would keep
// its board in use and the next run on it refused.
HANDLE commands_job() {
  static const HANDLE job = [] {
    HANDLE j = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (j) SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return j;
  }();
  return job;
}

// cmd.exe takes the text after "/s /c" as it stands once its outer quotes are off, not
// by the C runtime's quoting rules: quoted by those, a script's quoted words would
// reach the command with backslashes and split at their spaces.
std::string command_line(const std::vector<std::string>& argv) {
  if (argv.size() == 4 && argv[0] == "cmd.exe" && argv[1] == "/s" && argv[2] == "/c")
    return "cmd.exe /s /c \"" + argv[3] + "\"";
  std::string line;
  for (const std::string& a : argv) line += (line.empty() ? "" : " ") + quoted_argument(a);
  return line;
}

bool has_driver(const std::string& dir) {
  return GetFileAttributesA((dir + "\\io.dll").c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::optional<Child> Child::launch(const std::vector<std::string>& argv, bool stdout_to_stderr,
                                   const std::string& dir, bool on_board, std::string* error) {
  if (argv.empty()) {
    *error = "no program to run";
    return std::nullopt;
  }
  std::string line = command_line(argv);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  if (stdout_to_stderr) {
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
  std::fflush(nullptr);
  PROCESS_INFORMATION pi{};
  // Its own process group, so that a stop request can reach it alone.
  const DWORD flags = CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, stdout_to_stderr, flags, nullptr,
                      dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
    std::fprintf(stderr, "placasim: cannot run %s: %s\n", argv[0].c_str(), error_text(GetLastError()).c_str());
    Child failed(0);
    failed.code_ = kCannotStart;
    return failed;
  }
  if (!pi.hProcess) {  // Wine running a program of its host system
    if (!on_board) return Child(0);
    *error = "cannot follow " + argv[0] + ": the system gave no handle to its process";
    return std::nullopt;
  }
  if (on_board && !injected_driver().empty() && !load_into(pi.hProcess, injected_driver(), error)) {
    TerminateProcess(pi.hProcess, kCannotStart);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return std::nullopt;
  }
  if (commands_job()) AssignProcessToJobObject(commands_job(), pi.hProcess);  // best effort
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  return Child(reinterpret_cast<intptr_t>(pi.hProcess));
}

std::optional<int> Child::poll() {
  if (code_) return code_;
  HANDLE h = reinterpret_cast<HANDLE>(process_);
  DWORD code = 0;
  if (WaitForSingleObject(h, 0) == WAIT_OBJECT_0 && GetExitCodeProcess(h, &code)) {
    code_ = static_cast<int>(code);
    CloseHandle(h);
  }
  return code_;
}

int Child::wait() {
  if (!code_) WaitForSingleObject(reinterpret_cast<HANDLE>(process_), INFINITE);
  while (!poll()) Sleep(kStopPollMs);
  return *code_;
}

int Child::stop(int grace_ms) {
  if (poll()) return *code_;
  signal(0);
  for (int waited = 0; waited < grace_ms; waited += kStopPollMs) {
    if (poll()) return *code_;
    Sleep(kStopPollMs);
  }
  kill();
  return wait();
}

void Child::signal(int) {
  if (code_ || !process_) return;  // id 0 would reach every process on the console
  const DWORD id = GetProcessId(reinterpret_cast<HANDLE>(process_));
  EnumWindows(close_window, static_cast<LPARAM>(id));
  GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, id);
}

void Child::kill() {
  if (!code_ && process_) TerminateProcess(reinterpret_cast<HANDLE>(process_), kKilled);
}

std::string driver_directory() {
  char exe[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n > 0 && n < sizeof exe) {
    std::string dir(exe);
    dir.erase(dir.find_last_of("\\/"));
    // Beside the programs, in a folder of its own; in the build tree, where it is built.
    for (const char* sub : {"\\placasim", "\\..\\drivers\\sim"})
      if (has_driver(dir + sub)) return dir + sub;
  }
  return PLACASIM_DRIVER_DIR;
}

void wire_environment(const std::string& driver_dir, const std::string& board) {
  char full[MAX_PATH] = {};
  const std::string file = driver_dir + "\\io.dll";
  const DWORD n = GetFullPathNameA(file.c_str(), sizeof full, full, nullptr);
  injected_driver() = n > 0 && n < sizeof full ? full : file;
  SetEnvironmentVariableA(sim::kBoardEnv, board.c_str());
  // The command's own children (a script's "run" steps go through cmd.exe) get no
  // injection; the search path still finds the board for them, after the system folders.
  const char* old = std::getenv("PATH");
  const std::string dir = injected_driver().substr(0, injected_driver().find_last_of('\\'));
  SetEnvironmentVariableA("PATH", (dir + (old && *old ? ";" + std::string(old) : "")).c_str());
}

std::vector<std::string> shell_command(const std::string& text) { return {"cmd.exe", "/s", "/c", text}; }

bool is_program(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string find_gnuplot(std::string* missing) {
  char found[MAX_PATH] = {};
  const DWORD n = SearchPathA(nullptr, "gnuplot.exe", nullptr, sizeof found, found, nullptr);
  if (n > 0 && n < sizeof found) return found;
  // Its installer's folder; a 32-bit program sees the 64-bit Program Files as ProgramW6432.
  for (const char* root : {"ProgramFiles", "ProgramW6432", "ProgramFiles(x86)"}) {
    const char* dir = std::getenv(root);
    if (dir && *dir && is_program(std::string(dir) + "\\gnuplot\\bin\\gnuplot.exe"))
      return std::string(dir) + "\\gnuplot\\bin\\gnuplot.exe";
  }
  *missing = "the timeline needs gnuplot, which is not installed: install gnuplot for Windows (its installer "
             "puts it in Program Files\\gnuplot) or put gnuplot.exe on PATH, or set " + std::string(kGnuplotEnv) +
             " to the program";
  return "";
}

}  // namespace placasim
