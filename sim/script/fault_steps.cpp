#include "script/fault_steps.h"

#include <utility>

#include "faults.h"
#include "script/script.h"

namespace placasim {

namespace {

constexpr const char* kFaultUse =
    "use: fault stuck INPUT (1..8) on|off, fault chatter FLOOR (1..3) SECONDS (0..10), fault stall, "
    "fault slip FRACTION (0..1), fault noise INPUT (1..4) AMPLITUDE (1..255)";
constexpr const char* kClearUse =
    "use: clear stuck INPUT (1..8), clear chatter FLOOR (1..3), clear motor, clear noise INPUT (1..4), clear all";

}  // namespace

bool parse_fault_step(const std::vector<std::string>& w, FaultStep* step, std::string* error) {
  const auto bad = [error](std::string why) {
    *error = std::move(why);
    return false;
  };
  step->set = w[0] == "fault";
  const std::string use = step->set ? kFaultUse : kClearUse;
  if (w.size() < 2) return bad(use);
  const std::string& what = w[1];
  const std::size_t args = w.size() - 2;
  if (what == "stuck") {
    step->what = FaultStep::stuck;
    if (args != (step->set ? 2u : 1u) || !parse_int(w[2], 1, sim::kInputs, &step->number)) return bad(use);
    if (step->set) {
      if (w[3] != "on" && w[3] != "off") return bad(use);
      step->on = w[3] == "on";
    }
  } else if (what == "chatter") {
    step->what = FaultStep::chatter;
    if (args != (step->set ? 2u : 1u) || !parse_int(w[2], 1, sim::kFloors, &step->number)) return bad(use);
    if (step->set && (!parse_seconds(w[3], &step->amount) || step->amount <= 0 ||
                      step->amount > sim::kMaxChatterSeconds))
      return bad("a chatter lasts more than 0 and at most 10 seconds; " + use);
  } else if (what == "noise") {
    step->what = FaultStep::noise;
    int amplitude = 0;
    if (args != (step->set ? 2u : 1u) || !parse_int(w[2], 1, sim::kAnalogInputs, &step->number) ||
        (step->set && !parse_int(w[3], 1, sim::kMaxNoise, &amplitude)))
      return bad(use);
    step->amount = amplitude;
  } else if (step->set && what == "stall") {
    step->what = FaultStep::stall;
    if (args) return bad(use);
  } else if (step->set && what == "slip") {
    step->what = FaultStep::slip;
    if (args != 1 || !parse_seconds(w[2], &step->amount) || step->amount <= 0 || step->amount >= 1)
      return bad("a slipping motor gives a fraction of its speed above 0 and below 1; " + use);
  } else if (!step->set && (what == "motor" || what == "all")) {
    step->what = what == "motor" ? FaultStep::motor : FaultStep::all;
    if (args) return bad(use);
  } else {
    return bad("unknown fault \"" + what + "\"; " + use);
  }
  return true;
}

void apply_fault_step(sim::BoardState& board, const FaultStep& step) {
  switch (step.what) {
    case FaultStep::stuck:
      if (step.set)
        sim::fault_stick_input(board, step.number, step.on);
      else
        sim::fault_unstick_input(board, step.number);
      break;
    case FaultStep::chatter:
      if (step.set)
        sim::fault_chatter(board, step.number, static_cast<int64_t>(step.amount * sim::kNanosPerSecond));
      else
        sim::fault_stop_chatter(board, step.number);
      break;
    case FaultStep::noise:
      sim::fault_noise(board, step.number, step.set ? static_cast<int>(step.amount) : 0);
      break;
    case FaultStep::stall: sim::fault_motor(board, sim::MotorFault::stalled); break;
    case FaultStep::slip: sim::fault_motor(board, sim::MotorFault::slipping, step.amount); break;
    case FaultStep::motor: sim::fault_motor(board, sim::MotorFault::none); break;
    case FaultStep::all: sim::faults_clear(board); break;
  }
}

}  // namespace placasim
