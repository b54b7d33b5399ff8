#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

#include "link.h"

namespace serial {

std::optional<std::string> port_named_by_user() {
#ifdef _WIN32
  // The process's own block: a C runtime's copy misses what the program (a Python
  // script's os.environ, say) set after it started.
  char named[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("PLACAIO_SERIAL", named, sizeof named);
  if (n == 0 || n >= sizeof named) return std::nullopt;
  return std::string(named, n);
#else
  const char* named = std::getenv("PLACAIO_SERIAL");
  if (named == nullptr || *named == '\0') return std::nullopt;
  return std::string(named);
#endif
}

void warn_on_stderr(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace serial
