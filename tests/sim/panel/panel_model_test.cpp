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
  placasim::View look() {
    sim::board_advance(b, now);
    return {b, sim::board_inputs(b), sim::lift_moving(b)};
  }
  placasim::StatusText full_status(bool name_faults) {
    const placasim::View v = look();
    rules.follow(v);
    return placasim::status_of("bench", v, command, rules, name_faults);
  }
  std::string status(bool name_faults) { return full_status(name_faults).text(); }
  placasim::RuleWatch rules;
  placasim::CommandState command;
};

TEST_F(PanelStatus, NamesTheFaultsExceptInTheInstructorsView) {
  sim::fault_stick_input(b, 5, false);
  EXPECT_NE(status(true).find("Fault: input 5 stuck off"), std::string::npos) << status(true);
  EXPECT_EQ(status(false).find("Fault"), std::string::npos) << "the student finds the fault";
  sim::faults_clear(b);
  EXPECT_EQ(status(true).find("Fault"), std::string::npos);
}

TEST_F(PanelStatus, TheWarningLastsWhileTheRuleIsBrokenAndTheCountStays) {
  EXPECT_EQ(status(true).rfind("Board \"bench\"", 0), 0u);
  EXPECT_TRUE(rules.warning().empty());
  run_for(sim::kS);
  set_outputs(sim::kOutputTowardFirst);  // at floor 1: against the end stop
  run_for(600 * sim::kMs);
  placasim::StatusText s = full_status(true);
  EXPECT_EQ(s.warning, "RULE BROKEN: cabin driven against the end stop at floor 1 for more than 0.5 s");
  EXPECT_EQ(s.body.find("RULE"), std::string::npos) << "only the rule line is the warning";
  set_outputs(0);
  run_for(10 * sim::kMs);
  s = full_status(true);
  EXPECT_TRUE(s.warning.empty()) << "the motor stopped: " << s.warning;
  EXPECT_NE(s.body.find("Rules broken so far: 1 (end_stop 1)"), std::string::npos) << s.body;
  // A reversal is a moment: shown long enough to be read, then gone.
  set_outputs(sim::kOutputTowardTop);
  run_for(200 * sim::kMs);
  status(true);
  set_outputs(sim::kOutputTowardFirst);
  run_for(10 * sim::kMs);
  EXPECT_NE(full_status(true).warning.find("reversed"), std::string::npos);
  set_outputs(0);
  run_for(placasim::kMomentShownNs);
  EXPECT_TRUE(full_status(true).warning.empty());
}

TEST_F(PanelStatus, TheCommandIsRunningThenFinishedWithItsExitCode) {
  command.text = "./prog";
  EXPECT_NE(status(true).find("Running: ./prog"), std::string::npos);
  command.exit = 3;
  EXPECT_NE(status(true).find("./prog: finished (exit 3)"), std::string::npos) << status(true);
}

// Two runs on one board, a panel joined to it throughout: each watcher's figures are
// the writes it saw made, the power-on between the runs ends every episode, and no
// figure wraps below zero.
TEST_F(PanelStatus, FiguresStayRightAcrossRunsPowerOnsAndAJoinedPanel) {
  auto follow = [&](placasim::RuleWatch& w) { w.follow(look()); };
  set_outputs(sim::kOutputTowardTop);  // run 1, before anyone joined
  set_outputs(sim::kOutputTowardTop);
  placasim::RuleWatch joined;
  follow(joined);
  run_for(500 * sim::kMs);
  set_outputs(sim::kOutputTowardTop);  // needless
  set_outputs(0);
  follow(joined);
  run_for(500 * sim::kMs);
  set_outputs(sim::kOutputTowardTop);
  follow(joined);

  // Run 2 powers the board on; its program writes twice before its panel first looks.
  run_for(100 * sim::kMs);
  sim::board_reset(b, now);
  placasim::RuleWatch run2(placasim::Limits{}, true);
  run_for(50 * sim::kMs);
  set_outputs(sim::kOutputTowardFirst);  // after "up" in run 1: no reversal in run 2
  set_outputs(0);
  follow(run2);
  run_for(900 * sim::kMs);
  set_outputs(0);  // needless
  follow(run2);
  follow(joined);

  const placasim::WritesFigure r2 = run2.checks().writes();
  EXPECT_EQ(r2.writes, 3u);
  EXPECT_EQ(r2.needless, 1u);
  EXPECT_NEAR(r2.seconds, 0.95, 1e-9) << "from the power-on";
  const placasim::WritesFigure j = joined.checks().writes();
  EXPECT_EQ(j.writes, 3u + 3u) << "what the joined panel saw of each run";
  EXPECT_EQ(j.needless, 1u + 1u);
  EXPECT_NEAR(j.seconds, 1.0 + 0.95, 1e-9);
  for (const auto* w : {&joined, &run2}) {
    EXPECT_EQ(w->checks().count(placasim::Rule::reversal), 0u);
    EXPECT_EQ(w->checks().total(), 0u);
  }

  // Run 3 powers on and writes more than the joined panel ever counted before it looks.
  sim::board_reset(b, now);
  for (int i = 0; i < 200; ++i) set_outputs(static_cast<uint8_t>(i % 2 ? 0 : sim::kOutputTowardTop));
  run_for(10 * sim::kMs);
  follow(joined);
  EXPECT_EQ(joined.checks().writes().writes, 6u + 200u);
  EXPECT_LT(joined.checks().writes().seconds, 3.0);
}

}  // namespace
