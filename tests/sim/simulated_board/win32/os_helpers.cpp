#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "shared_board.h"
#include "simulated_board/os_helpers.h"

namespace simtest {

namespace {

std::map<std::string, HANDLE>& kept() {
  static std::map<std::string, HANDLE> handles;
  return handles;
}

template <typename F>
bool with_view(const std::string& name, F&& f) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, sim::segment_path(name).c_str());
  if (!mapping) return false;
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (view) {
    f(view);
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return view != nullptr;
}

}  // namespace

int process_id() { return static_cast<int>(GetCurrentProcessId()); }
void set_env(const char* name, const char* value) { _putenv_s(name, value); }
void unset_env(const char* name) { _putenv_s(name, ""); }

bool forge_segment(const std::string& name, const std::vector<unsigned char>& bytes) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(bytes.empty() ? 1 : bytes.size()),
                                      sim::segment_path(name).c_str());
  if (!mapping) return false;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mapping);
    return false;
  }
  kept()[name] = mapping;
  return bytes.empty() || patch_segment(name, 0, bytes.data(), bytes.size());
}

bool patch_segment(const std::string& name, std::size_t offset, const void* bytes, std::size_t size) {
  return with_view(name, [&](void* view) { std::memcpy(static_cast<char*>(view) + offset, bytes, size); });
}

int64_t segment_size(const std::string& name) {
  int64_t size = -1;
  with_view(name, [&](void* view) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(view, &info, sizeof info)) size = static_cast<int64_t>(info.RegionSize);
  });
  return size;
}

void drop_segment(const std::string& name) {
  auto it = kept().find(name);
  if (it == kept().end()) return;
  CloseHandle(it->second);
  kept().erase(it);
}

Process spawn(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& a : argv) line += (line.empty() ? "\"" : " \"") + a + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  CloseHandle(pi.hThread);
  return reinterpret_cast<Process>(pi.hProcess);
}

int wait_for(Process process) {
  if (process == -1) return -1;
  HANDLE h = reinterpret_cast<HANDLE>(process);
  WaitForSingleObject(h, INFINITE);
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(h, &code);
  CloseHandle(h);
  return static_cast<int>(code);
}

int pid_of(Process process) { return static_cast<int>(GetProcessId(reinterpret_cast<HANDLE>(process))); }
void kill(Process process) { TerminateProcess(reinterpret_cast<HANDLE>(process), 1); }

bool wait_for_file(const std::string& path, int timeout_ms) {
  for (int waited = 0; GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; waited += 10) {
    if (waited >= timeout_ms) return false;
    Sleep(10);
  }
  return true;
}

}  // namespace simtest
