// The port driver the run was given, and what the benchmarks need from it beyond the
// thirteen entry points: making the board present an input byte, and keeping the
// recording driver's log from growing for the length of a benchmark.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

class Driver {
 public:
  // Binds the driver once and finds out which one it is.
  static Driver& current();

  // The folder of the loaded io.so ("recording", "sim", ...) or "none".
  const std::string& name() const { return name_; }
  const std::string& path() const { return path_; }
  bool bound() const { return bound_; }
  bool recording() const { return rec_reset_ != nullptr; }
  // True when present() reaches the board: the recording driver or the simulated board.
  bool can_present() const { return recording() || sim_; }

  // The next digital reads give this input byte. On the simulated board the floor
  // sensors come from the cabin position, so at most one of inputs 4..6 may be set;
  // with none the cabin stands between floors.
  void present(uint8_t inputs);
  // Drops the recording driver's log (its scripts are put back); nothing elsewhere.
  void forget();
  // Call once per iteration: forgets every so many calls.
  void tick() {
    if (recording() && (++ticks_ & kForgetEvery) == 0) forget();
  }
  // The data register as the driver holds it.
  uint8_t data_register() const;

  // Detaches from a simulated board that the run made for itself.
  void release();

 private:
  static constexpr uint64_t kForgetEvery = 4095;
  Driver();

  std::string name_ = "none", path_;
  bool bound_ = false;
  bool sim_ = false;
  uint8_t inputs_ = 0;
  uint64_t ticks_ = 0;
  void (*rec_reset_)() = nullptr;
  void (*rec_script_)(int32_t, const uint8_t*, int32_t) = nullptr;
};

// Status byte that shows one four-bit group of inputs as active (lines at 0 on bits 3..6).
constexpr uint8_t status_for_group(uint8_t group) {
  return static_cast<uint8_t>((~group & 0x0F) << 3);
}

// The simulated board's side (sim_board.cpp, or a stand-in where the simulator is not built).
bool sim_attach();
void sim_present(uint8_t inputs);
void sim_release(bool remove_board);

// Before anything binds: the simulated board of this run gets a name of its own unless
// one was given, and SDL draws into memory.
void prepare_environment();

}  // namespace bench
