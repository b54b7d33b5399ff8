// What the Faults window does on both systems: its buttons set the same faults as the
// script steps, numbers out of range are brought in, no control hides another, and
// the list shows what is on the board.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "faults_window/fault_form.h"
#include "simulated_board/os_helpers.h"

namespace {

namespace form = placasim::fault_form;
using placasim::FaultStep;

FaultStep parsed(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  FaultStep step;
  std::string error;
  EXPECT_TRUE(placasim::parse_fault_step(words, &step, &error)) << text << ": " << error;
  return step;
}

void expect_same(const FaultStep& a, const FaultStep& b, const std::string& what) {
  EXPECT_EQ(a.what, b.what) << what;
  EXPECT_EQ(a.set, b.set) << what;
  EXPECT_EQ(a.number, b.number) << what;
  EXPECT_EQ(a.on, b.on) << what;
  EXPECT_DOUBLE_EQ(a.amount, b.amount) << what;
}

TEST(FaultForm, EachButtonSetsWhatItsScriptStepSets) {
  double values[form::kFieldCount];
  values[form::input] = 3;
  values[form::floor] = 2;
  values[form::chatter_seconds] = 1.5;
  values[form::slip] = 0.3;
  values[form::analog] = 4;
  values[form::amplitude] = 20;
  const char* steps[form::kButtonCount] = {
      "fault stuck 3 on", "fault stuck 3 off", "clear stuck 3", "fault chatter 2 1.5", "clear chatter 2",
      "fault stall",      "fault slip 0.3",    "clear motor",   "fault noise 4 20",    "clear noise 4",
      "clear all"};
  for (int b = 0; b < form::kButtonCount; ++b)
    expect_same(form::button_step(b, values), parsed(steps[b]), form::kButtons[b].label);
}

TEST(FaultForm, NumbersOutOfRangeAreBroughtIn) {
  double values[form::kFieldCount] = {};
  values[form::input] = 12;
  values[form::slip] = 5;
  values[form::amplitude] = 0;
  values[form::analog] = -3;
  EXPECT_EQ(form::button_step(0, values).number, 8);
  EXPECT_DOUBLE_EQ(form::button_step(6, values).amount, 0.95) << "a slip is below 1";
  const FaultStep noise = form::button_step(8, values);
  EXPECT_EQ(noise.number, 1);
  EXPECT_DOUBLE_EQ(noise.amount, 1) << "noise of at least one count";
  EXPECT_DOUBLE_EQ(form::button_step(3, values).amount, 0.1) << "a chatter lasts more than 0 s";
}

struct Rect {
  int x, y, w, h;
  std::string what;
};

TEST(FaultForm, EveryControlIsInTheWindowAndNoneHidesAnother) {
  std::vector<Rect> all;
  for (const auto& l : form::kLabels) all.push_back({l.x, l.y, form::kLabelW, form::kRowH, l.text});
  for (const auto& f : form::kFields) all.push_back({f.x, f.y, f.w, form::kRowH, "field at " + std::to_string(f.x)});
  for (const auto& b : form::kButtons) all.push_back({b.x, b.y, b.w, form::kRowH, b.label});
  all.push_back({form::kActiveBox.x, form::kActiveBox.y, form::kActiveBox.w, form::kActiveBox.h, "active faults"});
  for (std::size_t i = 0; i < all.size(); ++i) {
    const Rect& a = all[i];
    EXPECT_TRUE(a.x >= 0 && a.y >= 0 && a.x + a.w <= form::kW && a.y + a.h <= form::kH) << a.what;
    for (std::size_t j = i + 1; j < all.size(); ++j) {
      const Rect& b = all[j];
      const bool apart = a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + a.h <= b.y || b.y + b.h <= a.y;
      EXPECT_TRUE(apart) << a.what << " and " << b.what;
    }
  }
}

TEST(FaultForm, TheListShowsTheFaultsOnTheBoard) {
  const std::string name = "placasim-test-form-" + std::to_string(simtest::process_id());
  auto board = sim::SharedBoard::open(name, nullptr);
  ASSERT_NE(board, nullptr);
  EXPECT_EQ(form::active_text(*board), "Active faults: none");
  double values[form::kFieldCount] = {};
  values[form::input] = 5;
  form::apply(*board, form::button_step(1, values));
  form::apply(*board, form::button_step(5, values));
  EXPECT_EQ(form::active_text(*board), "Active faults:\n  input 5 stuck off\n  lift motor stalled");
  form::apply(*board, form::button_step(form::kButtonCount - 1, values));
  EXPECT_EQ(form::active_text(*board), "Active faults: none");
  board.reset();
  sim::SharedBoard::remove(name);
}

}  // namespace
