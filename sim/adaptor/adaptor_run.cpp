#include "adaptor_run.h"

#include <cstdlib>

#include "board_wiring.h"
#include "host/child.h"

namespace placasim {

namespace {

class EmulatedRun final : public AdaptorRun {
 public:
  explicit EmulatedRun(sim::SharedBoard& board) : wiring_(board) {}
  bool start(const std::string& firmware, std::string* error) {
    adaptor_ = EmulatedAdaptor::start(firmware, wiring_, error);
    return adaptor_ != nullptr;
  }
  void wire_commands(const std::string& board) override {
    wire_environment(serial_driver_directory(), board);
    setenv("PLACAIO_SERIAL", adaptor_->port().c_str(), 1);
  }
  const std::string& port() const override { return adaptor_->port(); }

 private:
  BoardWiring wiring_;  // outlives the adaptor, whose thread calls it
  std::unique_ptr<EmulatedAdaptor> adaptor_;
};

}  // namespace

std::string adaptor_unavailable() { return ""; }

std::unique_ptr<AdaptorRun> start_adaptor(const std::string& firmware, sim::SharedBoard& board, std::string* error) {
  auto run = std::make_unique<EmulatedRun>(board);
  if (!run->start(firmware, error)) return nullptr;
  return run;
}

}  // namespace placasim
