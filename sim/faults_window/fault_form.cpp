#include "faults_window/fault_form.h"

#include <algorithm>

#include "faults.h"

namespace placasim::fault_form {

namespace {

constexpr int kRowStep = kRowH + 8;
constexpr int row(int n) { return kMargin + n * kRowStep; }
constexpr int kChoiceX = kMargin + kLabelW, kX2 = kChoiceX + 56;

}  // namespace

const Label kLabels[kLabelCount] = {
    {kMargin, row(0), "Input stuck"},
    {kMargin, row(1), "Chatter (s)"},
    {kMargin, row(2), "Lift motor"},
    {kMargin, row(3), "Noise (\xC2\xB1)"},
};

const FieldLayout kFields[kFieldCount] = {
    /* input */ {kChoiceX, row(0), 50, sim::kInputs, "", 1, sim::kInputs, 1, 1},
    /* floor */ {kChoiceX, row(1), 50, sim::kFloors, "F", 1, sim::kFloors, 1, 1},
    /* chatter_seconds */ {kX2, row(1), 60, 0, "", 0.1, sim::kMaxChatterSeconds, 0.1, 0.5},
    /* slip */ {kX2, row(2), 60, 0, "", 0.05, 0.95, 0.05, 0.5},
    /* analog */ {kChoiceX, row(3), 50, sim::kAnalogInputs, "A", 1, sim::kAnalogInputs, 1, 1},
    /* amplitude */ {kX2, row(3), 60, 0, "", 1, sim::kMaxNoise, 1, 10},
};

const Button kButtons[kButtonCount] = {
    {kX2, row(0), 50, "on"},      {kX2 + 54, row(0), 50, "off"},   {kX2 + 108, row(0), 96, "release"},
    {kX2 + 64, row(1), 46, "set"}, {kX2 + 114, row(1), 90, "no chatter"},
    {kChoiceX, row(2), 50, "stall"}, {kX2 + 64, row(2), 46, "slip"}, {kX2 + 114, row(2), 90, "normal speed"},
    {kX2 + 64, row(3), 46, "set"}, {kX2 + 114, row(3), 90, "no noise"},
    {kMargin, row(4), kW - 2 * kMargin, "Clear all faults"},
};

const Box kActiveBox{kMargin, row(4) + kRowH + 10, kW - 2 * kMargin, kH - (row(4) + kRowH + 10) - kMargin};

std::string item_text(const FieldLayout& f, int item) { return f.prefix + std::to_string(item); }

double within(const FieldLayout& f, double value) { return std::clamp(value, f.lo, f.hi); }

FaultStep button_step(int b, const double (&values)[kFieldCount]) {
  auto value = [&](Field f) { return within(kFields[f], values[f]); };
  auto number = [&](Field f) { return static_cast<int>(value(f) + 0.5); };
  switch (b) {
    case 0: return {FaultStep::stuck, true, number(input), true};
    case 1: return {FaultStep::stuck, true, number(input), false};
    case 2: return {FaultStep::stuck, false, number(input)};
    case 3: return {FaultStep::chatter, true, number(floor), false, value(chatter_seconds)};
    case 4: return {FaultStep::chatter, false, number(floor)};
    case 5: return {FaultStep::stall};
    case 6: return {FaultStep::slip, true, 0, false, value(slip)};
    case 7: return {FaultStep::motor, false};
    case 8: return {FaultStep::noise, true, number(analog), false, static_cast<double>(number(amplitude))};
    case 9: return {FaultStep::noise, false, number(analog)};
    default: return {FaultStep::all, false};
  }
}

void apply(sim::SharedBoard& board, const FaultStep& step) {
  const int64_t now = sim::monotonic_ns();
  board.with([&](sim::BoardState& s) {
    sim::board_advance(s, now);
    apply_fault_step(s, step);
  });
}

std::string active_text(sim::SharedBoard& board) {
  const auto list = board.with([](sim::BoardState& s) { return sim::active_faults(s); });
  std::string text = "Active faults:";
  for (const auto& f : list) text += "\n  " + f;
  if (list.empty()) text += " none";
  return text;
}

}  // namespace placasim::fault_form
