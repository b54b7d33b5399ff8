// The simulated board's io.so, loaded through the system's own binding, on a board of
// this test's own; the test watches the same board through a second mapping.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "board/io.h"
#include "shared_board.h"
#include "simulated_board/os_helpers.h"

namespace {

const std::string kBoard = "placasim-test-driver-" + std::to_string(simtest::process_id());

class Driver : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { simtest::set_env(sim::kBoardEnv, kBoard.c_str()); }
  static void TearDownTestSuite() { sim::SharedBoard::remove(kBoard); }
  void SetUp() override {
    ASSERT_EQ(LoadIODLL(), 0);
    ASSERT_NE(IsDriverInstalled, nullptr);
    ASSERT_EQ(IsDriverInstalled(), 1);
    std::string error;
    watch = sim::SharedBoard::open(kBoard, &error);
    ASSERT_NE(watch, nullptr) << error;
    watch->with([](sim::BoardState& s) { sim::board_reset(s, sim::monotonic_ns()); });
  }
  sim::BoardState seen() {
    return watch->with([](sim::BoardState& s) {
      sim::board_advance(s, sim::monotonic_ns());
      return s;
    });
  }
  void hold(int input, bool on) { watch->with([&](sim::BoardState& s) { sim::board_hold_input(s, input, on); }); }
  uint8_t status_after(int control) {
    escribe_puerto(REGISTRO_CONTROL, control);
    return static_cast<uint8_t>(lee_puerto(REGISTRO_ESTADO));
  }
  std::unique_ptr<sim::SharedBoard> watch;
};

TEST_F(Driver, OutputWriteSetsTheBoardsOutputs) {
  escribe_puerto(REGISTRO_CONTROL, 7);
  escribe_puerto(REGISTRO_DATOS, 0x81);
  EXPECT_EQ(seen().outputs, 0x81);
  escribe_puerto(REGISTRO_CONTROL, 3);
  escribe_puerto(REGISTRO_DATOS, 0x00);
  EXPECT_EQ(seen().outputs, 0x81);
}

TEST_F(Driver, InputsHeldOnTheBoardReadInvertedThroughThePort) {
  hold(2, true);
  hold(8, true);
  EXPECT_EQ(status_after(3) & 0x78, 0x78 & ~0x10 & ~0x40) << "input 2, and the floor-1 sensor (input 4)";
  EXPECT_EQ(status_after(1) & 0x78, 0x78 & ~0x40);
}

TEST_F(Driver, AnalogConversionThroughThePort) {
  watch->with([](sim::BoardState& s) { sim::board_set_analog(s, 4, 0xC6); });
  escribe_puerto(REGISTRO_CONTROL, 5);
  escribe_puerto(REGISTRO_DATOS, 8);
  escribe_puerto(REGISTRO_CONTROL, 8);
  EXPECT_EQ((status_after(2) >> 3) & 0x0F, 0x6);
  EXPECT_EQ((status_after(0) >> 3) & 0x0F, 0xC);
}

TEST_F(Driver, TheOtherEntryPointsWorkOnTheSameRegisters) {
  ASSERT_NE(PortWordOut, nullptr);
  PortWordOut(REGISTRO_ESTADO, 0x0700);  // status ignores it, control takes 7
  PortDWordOut(REGISTRO_DATOS, 0x05);    // data 5 latched, control back to 0
  EXPECT_EQ(seen().outputs, 0x05);
  EXPECT_EQ(PortWordIn(REGISTRO_DATOS) & 0xFF, 0x05);
  EXPECT_EQ(PortDWordIn(REGISTRO_CONTROL) & 0xFF, 0u);
  PortOut(REGISTRO_CONTROL, 7);
  SetPortBit(REGISTRO_DATOS, 1);
  NotPortBit(REGISTRO_DATOS, 0);
  EXPECT_EQ(seen().outputs, 0x06);
  ClrPortBit(REGISTRO_DATOS, 2);
  EXPECT_EQ(GetPortBit(REGISTRO_DATOS, 1), 1);
  EXPECT_EQ(GetPortBit(REGISTRO_DATOS, 2), 0);
  EXPECT_EQ(LeftPortShift(REGISTRO_DATOS, 1), 0);
  EXPECT_EQ(seen().outputs, 0x05);
  EXPECT_EQ(RightPortShift(REGISTRO_DATOS, 0), 1);
  EXPECT_EQ(seen().outputs, 0x02);
}

TEST_F(Driver, TheDriverRunsTheLiftWithNoPanel) {
  escribe_puerto(REGISTRO_CONTROL, 7);
  escribe_puerto(REGISTRO_DATOS, 2);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const int64_t before = sim::monotonic_ns();
  const uint8_t status = status_after(3);  // the driver brings the cabin up to date
  const double position = watch->with([](sim::BoardState& s) { return s.position; });
  const double expected = 1.0 + 0.4 / sim::kSecondsPerFloor;
  EXPECT_GE(position, expected - 0.001);
  EXPECT_LE(position, expected + (sim::monotonic_ns() - before) / 1e9 / sim::kSecondsPerFloor + 0.05);
  EXPECT_EQ(status & 0x40, 0x40) << "off floor 1 its sensor is dark";
  escribe_puerto(REGISTRO_DATOS, 0);
}

}  // namespace
