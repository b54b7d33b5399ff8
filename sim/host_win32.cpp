// This build has no panel yet.
#include <windows.h>

#include <cstdio>

#include "host.h"

namespace placasim {

std::optional<int> show_panel(sim::SharedBoard&, Child*, const std::string&) {
  std::fprintf(stderr, "placasim: this build has no panel; running without it\n");
  return std::nullopt;
}

void pass_time(int ms) { Sleep(static_cast<DWORD>(ms)); }

}  // namespace placasim
