// The board and lift model on a fake clock: register protocol, physics, sensors.
#include <gtest/gtest.h>

#include "simulated_board/model_fixture.h"

namespace {

using namespace sim;

TEST_F(Model, OutputLatchTakesDataOnlyUnderControlSeven) {
  set_outputs(0xA5);
  EXPECT_EQ(b.outputs, 0xA5);
  for (const uint8_t control : {0, 1, 2, 3, 5, 6, 8, 255}) {
    out(kControlPort, control);
    out(kDataPort, 0x11);
    EXPECT_EQ(b.outputs, 0xA5) << "control " << int(control);
  }
  set_outputs(0);
  EXPECT_EQ(b.outputs, 0);
}

TEST_F(Model, InputsAreMultiplexedInvertedOnStatusBitsThreeToSix) {
  EXPECT_EQ(status_after(3) & 0x78, 0x38) << "floor 1 sensor (input 4) at power-on";
  EXPECT_EQ(status_after(1) & 0x78, 0x78);
  board_hold_input(b, 1, true);
  board_hold_input(b, 7, true);
  EXPECT_EQ(status_after(3) & 0x78, 0x30);
  EXPECT_EQ(status_after(1) & 0x78, 0x78 & ~0x20);
  EXPECT_EQ(board_inputs(b), 0x01 | 0x08 | 0x40);
  board_hold_input(b, 7, false);
  board_hold_input(b, 9, true);  // no such input
  board_hold_input(b, 0, true);
  EXPECT_EQ(board_inputs(b), 0x01 | 0x08);
}

TEST_F(Model, StatusBitsOutsideTheFourLinesReadZero) {
  for (const uint8_t control : {0, 1, 2, 3, 4, 7, 8}) EXPECT_EQ(status_after(control) & 0x87, 0) << int(control);
  EXPECT_EQ(status_after(4), kStatusLines) << "undecoded control value: lines idle";
}

TEST_F(Model, ConversionReadsTheSelectedChannelNotInverted) {
  const uint8_t values[] = {105, 0, 255, 52};
  for (int n = 1; n <= 4; ++n) board_set_analog(b, n, values[n - 1]);
  EXPECT_EQ(convert(1), 105);
  EXPECT_EQ(convert(2), 0);
  EXPECT_EQ(convert(4), 255);
  EXPECT_EQ(convert(8), 52);
  set_outputs(0x03);
  convert(4);
  EXPECT_EQ(b.outputs, 0x03) << "a conversion never reaches the outputs";
}

TEST_F(Model, OtherMasksSelectTheirLowestChannelOrNothing) {
  for (int n = 1; n <= 4; ++n) board_set_analog(b, n, static_cast<uint8_t>(10 * n));
  EXPECT_EQ(convert(3), 10);
  EXPECT_EQ(convert(12), 30);
  EXPECT_EQ(convert(0x18), 40);
  EXPECT_EQ(convert(0), 0);
  EXPECT_EQ(convert(0xF0), 0);
}

TEST_F(Model, SampleIsTakenWhenControlEightIsWrittenNotWhenRead) {
  board_set_analog(b, 1, 0x21);
  out(kControlPort, 5), out(kDataPort, 1), out(kControlPort, 8);
  board_set_analog(b, 1, 0xFF);
  out(kControlPort, 2);
  EXPECT_EQ((in(kStatusPort) >> 3) & 0x0F, 0x1);
  out(kControlPort, 0);
  EXPECT_EQ((in(kStatusPort) >> 3) & 0x0F, 0x2);
}

TEST_F(Model, DataAndControlRegistersReadBackWhatWasWritten) {
  out(kControlPort, 0x2C);
  out(kDataPort, 0x5A);
  EXPECT_EQ(in(kControlPort), 0x2C);
  EXPECT_EQ(in(kDataPort), 0x5A);
  EXPECT_EQ(in(0x3BC), kFloatingBus);
  out(kStatusPort, 0);  // read-only: ignored
  out(0x3BC, 1);
  EXPECT_EQ(in(kDataPort), 0x5A);
}

TEST_F(Model, CabinTravelsOneFloorInTheModelTimeEachWay) {
  set_outputs(kOutputTowardTop);
  run_for(static_cast<int64_t>(kSecondsPerFloor * kS));
  EXPECT_NEAR(b.position, 2.0, 1e-9);
  EXPECT_EQ(floor_at(b.position), 2);
  set_outputs(kOutputTowardFirst);
  run_for(static_cast<int64_t>(kSecondsPerFloor * kS / 2));
  EXPECT_NEAR(b.position, 1.5, 1e-9);
  EXPECT_GE(kSecondsPerFloor, 2.0);
  EXPECT_LE(kSecondsPerFloor, 3.0);
}

TEST_F(Model, PositionDoesNotDependOnHowOftenTheBoardIsPolled) {
  BoardState coarse = b;
  set_outputs(kOutputTowardTop);
  board_write(coarse, kControlPort, kControlOutputs, now);
  board_write(coarse, kDataPort, kOutputTowardTop, now);
  for (int i = 0; i < 3000; ++i) run_for(kMs);  // polled every millisecond
  board_advance(coarse, now);                   // once, after three seconds
  EXPECT_NEAR(b.position, coarse.position, 1e-9);
  EXPECT_NEAR(b.position, 1.0 + 3.0 / kSecondsPerFloor, 1e-9);
}

TEST_F(Model, EndStopsHoldTheCabinAtFloorsOneAndThree) {
  set_outputs(kOutputTowardFirst);
  run_for(10 * kS);
  EXPECT_EQ(b.position, kBottomFloor);
  EXPECT_FALSE(lift_moving(b)) << "pushing against the bottom stop";
  set_outputs(kOutputTowardTop);
  EXPECT_TRUE(lift_moving(b));
  run_for(60 * kS);
  EXPECT_EQ(b.position, kTopFloor);
  EXPECT_FALSE(lift_moving(b));
  EXPECT_EQ(board_inputs(b), 0x20);
}

TEST_F(Model, BothOrNeitherMotorOutputStopsTheCabin) {
  set_outputs(kOutputTowardTop);
  run_for(kS);
  const double p = b.position;
  set_outputs(kOutputTowardTop | kOutputTowardFirst);
  run_for(kS);
  EXPECT_EQ(b.position, p);
  set_outputs(0xFC);  // the other motors do not move the cabin
  run_for(kS);
  EXPECT_EQ(b.position, p);
  EXPECT_FALSE(lift_moving(b));
}

TEST_F(Model, FloorSensorIsActiveOnlyInsideItsBand) {
  EXPECT_TRUE(floor_sensor_active(2.0, 2));
  EXPECT_TRUE(floor_sensor_active(2.0 - kSensorHalfBand * 0.99, 2));
  EXPECT_TRUE(floor_sensor_active(2.0 + kSensorHalfBand * 0.99, 2));
  EXPECT_FALSE(floor_sensor_active(2.0 + kSensorHalfBand * 1.01, 2));
  EXPECT_FALSE(floor_sensor_active(1.5, 1));
  EXPECT_FALSE(floor_sensor_active(1.5, 2));
  EXPECT_FALSE(floor_sensor_active(1.0, 0));
  EXPECT_FALSE(floor_sensor_active(3.0, 4));
  EXPECT_LT(kSensorHalfBand, 0.25) << "bands of neighbouring floors must not touch";
}

TEST_F(Model, PassingAFloorLightsItsSensorForTheBandOnly) {
  set_outputs(kOutputTowardTop);
  int64_t lit = 0;
  for (int i = 0; i < 5000; ++i) {  // 5 s in 1 ms steps: floor 1 to floor 3
    run_for(kMs);
    if (board_inputs(b) & 0x10) lit += kMs;
    EXPECT_NE(board_inputs(b) & 0x38, 0x18) << "two sensors at once";
  }
  const double expected = 2 * kSensorHalfBand * kSecondsPerFloor * kS;
  EXPECT_NEAR(static_cast<double>(lit), expected, 2.0 * kMs);
}

TEST_F(Model, TimeRunningBackwardsDoesNotMoveTheCabin) {
  set_outputs(kOutputTowardTop);
  run_for(kS);
  const double p = b.position;
  board_advance(b, now - 10 * kS);
  EXPECT_EQ(b.position, p);
  run_for(0);
  EXPECT_EQ(b.position, p);
}

TEST_F(Model, CorruptPositionIsPutBackInTheShaft) {
  b.position = 0.0 / 0.0;
  board_advance(b, now);
  EXPECT_EQ(b.position, kBottomFloor);
  b.position = 1e300;
  board_advance(b, now);
  EXPECT_EQ(b.position, kTopFloor);
}

TEST_F(Model, OutputChangesAreKeptWithTimeAndPositionButRepeatsAreNot) {
  set_outputs(2);
  set_outputs(2);
  run_for(kS);
  set_outputs(0);
  ASSERT_EQ(b.changes_total, 2u);
  EXPECT_EQ(b.changes[0].outputs, 2);
  EXPECT_EQ(b.changes[1].outputs, 0);
  EXPECT_EQ(b.changes[1].time_ns - b.changes[0].time_ns, kS);
  EXPECT_NEAR(b.changes[1].position, 1.0 + 1.0 / kSecondsPerFloor, 1e-9);
  for (int i = 0; i < 3 * kChangeHistory; ++i) set_outputs(static_cast<uint8_t>(i % 2 + 4));
  EXPECT_EQ(b.changes[(b.changes_total - 1) % kChangeHistory].outputs, b.outputs);
}

TEST(MotorState, FromEachPairOfOutputs) {
  EXPECT_EQ(motor_state(0x01, 1), 'I');
  EXPECT_EQ(motor_state(0x02, 1), 'D');
  EXPECT_EQ(motor_state(0x03, 1), 'P');
  EXPECT_EQ(motor_state(0x00, 1), 'P');
  EXPECT_EQ(motor_state(0x40, 4), 'I');
  EXPECT_EQ(motor_state(0x80, 4), 'D');
  EXPECT_EQ(motor_state(0x10, 3), 'I');
  EXPECT_EQ(motor_state(0x10, 2), 'P');
  EXPECT_EQ(motor_state(0xFF, 0), 'P');
  EXPECT_EQ(motor_state(0xFF, 5), 'P');
}

}  // namespace
