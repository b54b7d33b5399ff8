#include "driver.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "binding_switch.h"
#include "board/io.h"

namespace bench {

namespace {
bool owns_board = false;
constexpr int32_t kLowGroupControl = 3, kHighGroupControl = 1;
constexpr int kGroupBits = 4;

std::string folder_of(const std::string& file) {
  const size_t slash = file.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return file;
  const std::string dir = file.substr(0, slash);
  const size_t parent = dir.find_last_of('/');
  return parent == std::string::npos ? dir : dir.substr(parent + 1);
}
}  // namespace

Driver& Driver::current() {
  static Driver* instance = new Driver;  // the driver's exit handlers may outlive main
  return *instance;
}

Driver::Driver() {
  bound_ = bind_for_real() == 0 && PortOut != nullptr && PortIn != nullptr;
  if (!bound_) return;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(PortOut), &info) != 0 && info.dli_fname != nullptr) {
    path_ = info.dli_fname;
    name_ = folder_of(path_);
  }
  rec_reset_ = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(GetProcAddress(hio, "rec_reset")));
  rec_script_ = reinterpret_cast<void (*)(int32_t, const uint8_t*, int32_t)>(
      reinterpret_cast<void*>(GetProcAddress(hio, "rec_script_status")));
  if (rec_script_ == nullptr) rec_reset_ = nullptr;
  // The adaptor's board is the one placasim --adaptor named; a real adaptor's is not ours.
  if (!recording() && (name_ == "sim" || (name_ == "serial" && !owns_board))) sim_ = sim_attach();
  present(0);
}

void Driver::present(uint8_t inputs) {
  inputs_ = inputs;
  if (recording()) {
    const uint8_t low = status_for_group(inputs & 0x0F);
    const uint8_t high = status_for_group(static_cast<uint8_t>(inputs >> kGroupBits));
    rec_script_(kLowGroupControl, &low, 1);
    rec_script_(kHighGroupControl, &high, 1);
  } else if (sim_) {
    sim_present(inputs);
  }
}

void Driver::forget() {
  if (!recording()) return;
  rec_reset_();
  present(inputs_);
}

uint8_t Driver::data_register() const {
  const PortIn_t in = PortIn;
  return in != nullptr ? static_cast<uint8_t>(in(REGISTRO_DATOS)) : 0;
}

void Driver::release() {
  if (sim_) sim_release(owns_board);
  sim_ = false;
}

void prepare_environment() {
  if (std::getenv("PLACASIM_BOARD") == nullptr) {
    const std::string name = "placaio-bench-" + std::to_string(getpid());
    setenv("PLACASIM_BOARD", name.c_str(), 1);
    owns_board = true;
  }
  // Never a window on the user's display, unless BENCH_VIDEODRIVER names SDL's driver
  // (x11 on a virtual display, for what the display costs there).
  const char* video = std::getenv("BENCH_VIDEODRIVER");
  setenv("SDL_VIDEODRIVER", video != nullptr && *video != '\0' ? video : "dummy", 1);
}

}  // namespace bench
