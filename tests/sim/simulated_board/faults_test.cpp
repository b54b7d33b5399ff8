// The fault models on a fake clock: stuck inputs, a chattering floor sensor, a
// stalled and a slipping motor, analog noise.
#include <gtest/gtest.h>

#include <set>

#include "faults.h"
#include "simulated_board/model_fixture.h"

namespace {

using namespace sim;

using Faulty = Model;

TEST_F(Faulty, StuckInputsOverrideButtonsAndSensorsAndComeBackWhenCleared) {
  fault_stick_input(b, 4, false);  // floor 1 sensor, lit at power-on
  fault_stick_input(b, 2, true);   // a call button nobody presses
  fault_stick_input(b, 8, true);
  board_hold_input(b, 8, false);
  EXPECT_EQ(board_inputs(b), 0x02 | 0x80);
  fault_stick_input(b, 2, false);  // now stuck the other way
  board_hold_input(b, 2, true);
  EXPECT_EQ(board_inputs(b), 0x80);
  board_write(b, kControlPort, kControlInputsLow, now);
  EXPECT_EQ(board_read(b, kStatusPort, now) & 0x78, 0x78) << "the port shows the stuck lines too";
  fault_unstick_input(b, 4);
  fault_unstick_input(b, 2);
  EXPECT_EQ(board_inputs(b), 0x02 | 0x08 | 0x80);
  faults_clear(b);
  EXPECT_EQ(board_inputs(b), 0x02 | 0x08);
  fault_stick_input(b, 9, true);
  fault_stick_input(b, 0, true);
  EXPECT_EQ(board_inputs(b), 0x02 | 0x08) << "no such inputs";
}

TEST_F(Faulty, StuckOffSensorLetsTheCabinPassItsFloorUnseen) {
  fault_stick_input(b, 5, false);
  set_outputs(kOutputTowardTop);
  bool seen = false;
  for (int i = 0; i < 2600; ++i) {  // 5.2 s of travel, looked at every 2 ms
    run_for(2 * kMs);
    seen = seen || (board_inputs(b) & 0x10);
  }
  EXPECT_FALSE(seen);
  EXPECT_DOUBLE_EQ(b.position, kTopFloor);
}

TEST_F(Faulty, ChatteringSensorBouncesForItsTimeAfterEnteringTheBandThenHolds) {
  fault_chatter(b, 2, 60 * kMs);
  set_outputs(kOutputTowardTop);
  // The band of floor 2 starts at 1.95: 2.375 s after the start.
  run_for(2375 * kMs - kMs);
  EXPECT_EQ(board_inputs(b) & 0x10, 0);
  int changes = 0;
  bool last = false;
  for (int i = 0; i < 60; ++i) {
    run_for(kMs);
    const bool lit = board_inputs(b) & 0x10;
    changes += lit != last;
    last = lit;
  }
  EXPECT_GE(changes, 10) << "bounces every " << kChatterStepNs / kMs << " ms";
  for (int i = 0; i < 100; ++i) {
    run_for(kMs);
    ASSERT_TRUE(board_inputs(b) & 0x10) << "steady after the chatter, " << i << " ms on";
  }
}

TEST_F(Faulty, ChatterStartsOnlyWhenTheCabinEntersTheBand) {
  fault_chatter(b, 1, 1 * kS);  // set while the cabin stands at floor 1
  for (int i = 0; i < 50; ++i) {
    run_for(kMs);
    ASSERT_TRUE(board_inputs(b) & 0x08);
  }
  // Up and back down: entering floor 1's band again bounces it.
  set_outputs(kOutputTowardTop);
  run_for(500 * kMs);
  set_outputs(kOutputTowardFirst);
  run_for(400 * kMs);
  int off_while_in_band = 0;
  for (int i = 0; i < 200; ++i) {
    run_for(kMs);
    if (floor_sensor_active(b.position, 1) && !(board_inputs(b) & 0x08)) ++off_while_in_band;
  }
  EXPECT_GT(off_while_in_band, 20);
  fault_stop_chatter(b, 1);
  EXPECT_TRUE(board_inputs(b) & 0x08);
}

TEST_F(Faulty, EntryTimeInsideOneLongStepIsExact) {
  fault_chatter(b, 2, 1 * kS);
  set_outputs(kOutputTowardTop);
  run_for(2500 * kMs);  // one step across the band edge at 2.375 s
  EXPECT_EQ(b.faults.band_entered_ns[1], 5 * kS + 2375 * kMs);
}

TEST_F(Faulty, StalledMotorHoldsTheCabinAndSlippingOneMovesItSlowly) {
  fault_motor(b, MotorFault::stalled);
  set_outputs(kOutputTowardTop);
  run_for(3 * kS);
  EXPECT_DOUBLE_EQ(b.position, 1.0);
  EXPECT_FALSE(lift_moving(b)) << "driven, yet still";
  fault_motor(b, MotorFault::slipping, 0.25);
  run_for(2 * kS);
  EXPECT_NEAR(b.position, 1.2, 1e-9);
  EXPECT_TRUE(lift_moving(b));
  fault_motor(b, MotorFault::none);
  run_for(2 * kS);
  EXPECT_NEAR(b.position, 2.0, 1e-9);
}

TEST_F(Faulty, SlipFromSharedMemoryOutOfRangeIsTakenAtItsEdge) {
  b.faults.motor = MotorFault::slipping;
  b.faults.slip = 7.0;
  EXPECT_EQ(motor_speed_factor(b), 1.0);
  b.faults.slip = -1.0;
  EXPECT_EQ(motor_speed_factor(b), 0.0);
}

TEST_F(Faulty, TimesFromSharedMemoryAtTheEdgesOfTheirRangeNeitherOverflowNorMoveTheCabin) {
  set_outputs(kOutputTowardTop);
  const double at = b.position;
  b.updated_ns = INT64_MIN;
  board_advance(b, now);
  EXPECT_EQ(b.position, at) << "no travel from a time no process wrote";
  EXPECT_EQ(b.updated_ns, now);
  for (const int64_t entered : {-INT64_MAX, INT64_MAX}) {
    b.faults.chatter = 1;
    b.faults.chatter_ns = INT64_MAX;
    b.faults.band_entered_ns[0] = entered;
    EXPECT_TRUE(board_inputs(b) & 0x08) << "floor 1's sensor lit, entered at " << entered;
  }
}

TEST_F(Faulty, AnalogNoiseStaysWithinItsAmplitudeAndVaries) {
  board_set_analog(b, 2, 100);
  board_set_analog(b, 3, 250);
  fault_noise(b, 2, 5);
  fault_noise(b, 3, 20);
  std::set<int> seen;
  for (int i = 0; i < 500; ++i) {
    now += 37 * 1000;
    const int v = convert(2);
    ASSERT_GE(v, 95);
    ASSERT_LE(v, 105);
    seen.insert(v);
    ASSERT_GE(convert(4), 230) << "clamped at 255";
  }
  EXPECT_GE(seen.size(), 8u);
  fault_noise(b, 2, 0);
  for (int i = 0; i < 20; ++i) {
    now += kMs;
    ASSERT_EQ(convert(2), 100);
  }
  EXPECT_EQ(convert(1), 0) << "other inputs untouched";
}

TEST_F(Faulty, ListsTheActiveFaultsInWords) {
  EXPECT_TRUE(active_faults(b).empty());
  fault_stick_input(b, 5, true);
  fault_chatter(b, 3, 500 * kMs);
  fault_motor(b, MotorFault::slipping, 0.5);
  fault_noise(b, 1, 3);
  const auto list = active_faults(b);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0], "input 5 stuck on");
  EXPECT_EQ(list[1], "floor 3 sensor chatters for 0.50 s");
  EXPECT_EQ(list[2], "lift motor slips (0.50 of its speed)");
  EXPECT_EQ(list[3], "analog 1 noise +-3");
}

TEST_F(Faulty, WritesThatChangeNothingAreCounted) {
  set_outputs(0);
  set_outputs(0);
  set_outputs(2);
  set_outputs(2);
  EXPECT_EQ(b.output_writes, 4u);
  EXPECT_EQ(b.output_writes_unchanged, 3u);
}

}  // namespace
