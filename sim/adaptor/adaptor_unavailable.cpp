// placasim built without the emulated adaptor.
#include "adaptor_run.h"

namespace placasim {

std::string adaptor_unavailable() {
#ifdef _WIN32
  return "the emulated adaptor runs on Linux only";
#else
  return "this placasim was built without the emulated adaptor (simavr was not installed; scripts/setup installs it)";
#endif
}

std::unique_ptr<AdaptorRun> start_adaptor(const std::string&, sim::SharedBoard&, std::string* error) {
  *error = adaptor_unavailable();
  return nullptr;
}

}  // namespace placasim
