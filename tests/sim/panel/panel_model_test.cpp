// What both panels do with the call buttons and keys, on a board of the test's own,
// and what their status tells of faults and broken rules.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "faults.h"
#include "panel/panel_model.h"
#include "simulated_board/model_fixture.h"
#include "simulated_board/os_helpers.h"

namespace {

using placasim::Calls;

class PanelCalls : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(board, nullptr); }
  void TearDown() override { sim::SharedBoard::remove(name); }
  bool held(int call) { return placasim::call_held(placasim::view_of(*board), call); }
  static void sleep_s(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }
  static bool up(int) { return false; }
  static bool down(int) { return true; }

  std::string name = "placasim-test-calls-" + std::to_string(simtest::process_id());
  std::unique_ptr<sim::SharedBoard> board = sim::SharedBoard::open(name, nullptr);
};

TEST_F(PanelCalls, AQuickClickHoldsTheCallForTheShortestPress) {
  Calls calls(*board);
  calls.press(2);
  calls.release(2);
  calls.tick(up);
  EXPECT_TRUE(held(2)) << "let go before a polling program could see it";
  sleep_s(placasim::kShortestCallSeconds / 2);
  calls.tick(up);
  EXPECT_TRUE(held(2));
  sleep_s(placasim::kShortestCallSeconds / 2 + 0.05);
  calls.tick(up);
  EXPECT_FALSE(held(2));
  EXPECT_FALSE(held(0));
}

TEST_F(PanelCalls, ALongPressIsLetGoOnRelease) {
  Calls calls(*board);
  calls.press(0);
  sleep_s(placasim::kShortestCallSeconds + 0.05);
  calls.tick(up);
  EXPECT_TRUE(held(0)) << "held while the button is down";
  calls.release(0);
  EXPECT_FALSE(held(0));
}

TEST_F(PanelCalls, KeysHoldWhileDownAndAreLetGoWhenTheKeyboardSaysUp) {
  Calls calls(*board);
  EXPECT_FALSE(calls.key('4', true)) << "only 1 2 3 are call keys";
  EXPECT_TRUE(calls.key('3', true));
  calls.tick(down);
  EXPECT_TRUE(held(2));
  calls.tick(up);  // the key-up event never came
  EXPECT_FALSE(held(2));
  calls.key('1', true);
  calls.release_keys();
  EXPECT_FALSE(held(0));
}

TEST_F(PanelCalls, AKeyUpDoesNotCutAClickShort) {
  Calls calls(*board);
  calls.press(1);
  calls.key('2', true);
  calls.key('2', false);
  EXPECT_TRUE(held(1));
}

TEST_F(PanelCalls, WhatIsStillHeldIsLetGoWhenThePanelGoes) {
  {
    Calls calls(*board);
    calls.press(0);
    calls.key('3', true);
  }
  EXPECT_FALSE(held(0));
  EXPECT_FALSE(held(2));
}

class PanelStatus : public sim::Model {
 protected:
  std::string status(bool name_faults) {
    sim::board_advance(b, now);
    const placasim::View v{b, sim::board_inputs(b), sim::lift_moving(b)};
    rules.follow(v);
    return placasim::status_text("bench", v, nullptr, "", rules, name_faults);
  }
  placasim::RuleWatch rules;
};

TEST_F(PanelStatus, NamesTheFaultsExceptInTheInstructorsView) {
  sim::fault_stick_input(b, 5, false);
  EXPECT_NE(status(true).find("Fault: input 5 stuck off"), std::string::npos) << status(true);
  EXPECT_EQ(status(false).find("Fault"), std::string::npos) << "the student finds the fault";
  sim::faults_clear(b);
  EXPECT_EQ(status(true).find("Fault"), std::string::npos);
}

TEST_F(PanelStatus, ABrokenRuleStaysOnTopAsTheWarning) {
  EXPECT_EQ(status(true).rfind("Board \"bench\"", 0), 0u);
  EXPECT_TRUE(rules.warning().empty());
  set_outputs(sim::kOutputTowardFirst | sim::kOutputTowardTop);
  const std::string text = status(true);
  EXPECT_EQ(text.rfind("RULE BROKEN: ", 0), 0u) << text;
  EXPECT_NE(text.find("(1 in all)"), std::string::npos) << text;
  set_outputs(0);
  EXPECT_EQ(status(true).rfind("RULE BROKEN: ", 0), 0u) << "the warning outlives the breach";
}

}  // namespace
