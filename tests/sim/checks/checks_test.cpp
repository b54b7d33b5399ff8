// The lift's rules on a fake clock: each fires once when it starts to be broken and
// stays quiet while the lift is driven as it should be.
#include <gtest/gtest.h>

#include "checks/checks.h"
#include "faults.h"
#include "recordings/followed_fixture.h"

namespace {

using namespace sim;
using placasim::Checks;
using placasim::Rule;

class Rules : public Followed {
 protected:
  void SetUp() override {
    Followed::SetUp();
    follower = &checks;
  }
  // The program writes the output byte, then time passes while the board is looked at.
  void drive(uint8_t outputs, int64_t for_ns = 0) {
    set_outputs(outputs);
    feed();
    pass(for_ns);
  }
  std::vector<Rule> broken() {
    std::vector<Rule> rules;
    for (const auto& v : checks.take_new()) rules.push_back(v.rule);
    return rules;
  }
  Checks checks;
};

TEST_F(Rules, ACorrectTripUpAndDownBreaksNothing) {
  feed();
  drive(kOutputTowardTop, 4900 * kMs);  // to just inside floor 3's band
  drive(0, 1000 * kMs);
  drive(0, 10 * kMs);                   // writes of the same byte: only a figure
  drive(kOutputTowardFirst, 4900 * kMs);
  drive(0, 500 * kMs);
  EXPECT_TRUE(broken().empty());
  EXPECT_EQ(checks.total(), 0u);
  EXPECT_EQ(checks.writes().writes, 5u);
  EXPECT_EQ(checks.writes().needless, 1u);
}

TEST_F(Rules, BothLiftOutputsAtOnceIsOneEpisodeUntilItEnds) {
  drive(0x03, 100 * kMs);
  drive(0x03 | 0x40, 100 * kMs);  // still both on (and output 7 on: its own rule)
  EXPECT_EQ(broken(), (std::vector<Rule>{Rule::both_directions, Rule::other_outputs}));
  drive(0, 10 * kMs);
  drive(0x03, 10 * kMs);
  EXPECT_EQ(broken(), std::vector<Rule>{Rule::both_directions});
  EXPECT_EQ(checks.count(Rule::both_directions), 2u);
}

TEST_F(Rules, DrivingAgainstTheEndStopIsABreachOnlyPastItsTime) {
  drive(kOutputTowardFirst, 400 * kMs);  // at floor 1 already: pushing down
  EXPECT_TRUE(broken().empty()) << "a short push is allowed";
  drive(kOutputTowardFirst, 200 * kMs);
  const auto found = checks.take_new();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].rule, Rule::end_stop);
  EXPECT_NE(found[0].detail.find("floor 1"), std::string::npos);
  drive(0, 10 * kMs);
  drive(kOutputTowardTop, 6 * kS);       // runs up and then pushes at the top
  EXPECT_EQ(broken(), std::vector<Rule>{Rule::end_stop});
  EXPECT_EQ(checks.count(Rule::end_stop), 2u);
}

TEST_F(Rules, ReversalWithoutAStopIsCaughtEachTime) {
  drive(kOutputTowardTop, 1 * kS);
  drive(kOutputTowardFirst, 100 * kMs);
  drive(kOutputTowardTop, 100 * kMs);
  EXPECT_EQ(broken(), (std::vector<Rule>{Rule::reversal, Rule::reversal}));
  drive(0, 10 * kMs);
  drive(kOutputTowardFirst, 100 * kMs);
  EXPECT_TRUE(broken().empty()) << "stopped in between";
  drive(0x03, 10 * kMs);  // both on is no stop
  drive(kOutputTowardTop, 10 * kMs);
  EXPECT_EQ(broken(), (std::vector<Rule>{Rule::both_directions, Rule::reversal}));
}

TEST_F(Rules, OtherOutputsSwitchedOnNameThem) {
  drive(0x20 | 0x80, 10 * kMs);
  const auto found = checks.take_new();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].rule, Rule::other_outputs);
  EXPECT_NE(found[0].detail.find("outputs 6, 8"), std::string::npos) << found[0].detail;
}

TEST_F(Rules, ManyEpisodesAreCountedButReportedOnlyUpToTheLimit) {
  for (int i = 0; i < 30; ++i) {
    drive(0x03);
    drive(0);
  }
  EXPECT_EQ(checks.take_new().size(), placasim::kReportedPerRule);
  EXPECT_EQ(checks.count(Rule::both_directions), 30u);
}

TEST_F(Rules, NeedlessWritesBreakOnlyAboveAGivenRate) {
  Checks strict(100);
  for (Checks* c : {&checks, &strict}) c->on_look(b, now);
  for (int i = 0; i < 1100; ++i) {  // 1000 needless writes a second
    set_outputs(0);
    run_for(kMs);
    for (Checks* c : {&checks, &strict}) c->on_look(b, now);
  }
  EXPECT_TRUE(checks.take_new().empty()) << "reported as a figure only";
  EXPECT_GE(checks.writes().needless, 1100u);
  const auto found = strict.take_new();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].rule, Rule::needless_writes);
  const auto summary = placasim::summary_lines(strict);
  ASSERT_EQ(summary.size(), 2u);
  EXPECT_EQ(summary[0], "needless_writes: broken 1 time(s)");
  EXPECT_NE(summary[1].find("1100 of 1100"), std::string::npos) << summary[1];
}

// A stalled motor: driven, the cabin still. One episode until the motor stops or the
// cabin moves; a slow cabin, a short stall, or a push at an end stop is no stall.
TEST_F(Rules, AStalledMotorIsABreachOncePastItsTimeAndOncePerEpisode) {
  Checks slow_limit(placasim::Limits{0, 3.0});
  placasim::History history(true);
  auto drive_both = [&](uint8_t outputs, int64_t for_ns) {
    set_outputs(outputs);
    for (int64_t t = 0; t <= for_ns; t += 2 * kMs) {
      history.feed(b, {&checks, &slow_limit});
      for (Checks* c : {&checks, &slow_limit}) c->on_look(b, now);
      run_for(2 * kMs);
    }
  };
  fault_motor(b, MotorFault::slipping, 0.1);
  drive_both(kOutputTowardTop, 2 * kS);
  EXPECT_TRUE(broken().empty()) << "slow, but moving";
  fault_motor(b, MotorFault::stalled);
  drive_both(kOutputTowardTop, 800 * kMs);
  EXPECT_TRUE(broken().empty()) << "not yet past the second";
  drive_both(kOutputTowardTop, 3 * kS);
  const auto found = checks.take_new();
  ASSERT_EQ(found.size(), 1u) << "one episode however long it lasts";
  EXPECT_EQ(found[0].rule, Rule::stall);
  EXPECT_NE(found[0].detail.find("more than 1.0 s"), std::string::npos) << found[0].detail;
  EXPECT_EQ(slow_limit.take_new().size(), 1u);
  drive_both(0, 10 * kMs);
  drive_both(kOutputTowardTop, 1500 * kMs);
  EXPECT_EQ(checks.count(Rule::stall), 2u) << "a new episode after a stop";
  EXPECT_EQ(slow_limit.count(Rule::stall), 1u);
  faults_clear(b);
  drive_both(0, 10 * kMs);
}

}  // namespace
