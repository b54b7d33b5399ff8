#include "rss.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace bench {

std::optional<long> resident_kb_from_statm(const std::string& statm, long page_bytes) {
  std::istringstream in(statm);
  long size = 0, resident = 0;
  if (!(in >> size >> resident) || resident < 0 || page_bytes <= 0) return std::nullopt;
  return resident * (page_bytes / 1024);
}

std::optional<long> resident_kb() {
  std::ifstream file("/proc/self/statm");
  std::stringstream text;
  text << file.rdbuf();
  return resident_kb_from_statm(text.str(), sysconf(_SC_PAGESIZE));
}

}  // namespace bench
