#include <cstdio>
#include <cstdlib>

#include "link.h"

namespace serial {

std::optional<std::string> port_named_by_user() {
  const char* named = std::getenv("PLACAIO_SERIAL");
  if (named == nullptr || *named == '\0') return std::nullopt;
  return std::string(named);
}

void warn_on_stderr(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace serial
