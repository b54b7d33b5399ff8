// The waveform of a lift trip, read back by sigrok-cli (a reader from outside this
// project): the inputs and outputs change where the trip says.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "faults.h"
#include "recordings/followed_fixture.h"
#include "recordings/vcd.h"

namespace {

using namespace sim;

// Samples per second sigrok-cli gives back: 1 MHz (the 1 us timescale) downsampled.
constexpr int kDownsample = 1000;

class Waveform : public Followed {
 protected:
  void SetUp() override {
    Model::SetUp();
    std::string error;
    vcd = placasim::VcdRecorder::open(path, &error);
    ASSERT_NE(vcd, nullptr) << error;
    follower = vcd.get();
  }
  void TearDown() override { std::remove(path.c_str()); }
  // sigrok-cli's reading: one row per millisecond, one column per 1-bit signal.
  std::vector<std::string> read_back() {
    const std::string command = "sigrok-cli -I vcd:downsample=" + std::to_string(kDownsample) + " -i " + path +
                                " -O csv 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::vector<std::string> rows;
    char line[256];
    bool data = false;
    while (pipe && std::fgets(line, sizeof line, pipe)) {
      std::string l(line);
      if (!l.empty() && l.back() == '\n') l.pop_back();
      if (data) rows.push_back(l);
      if (l.rfind("logic,", 0) == 0) data = true;
    }
    EXPECT_EQ(pipe ? pclose(pipe) : -1, 0);
    return rows;
  }
  // The first row from `from` on where column `column` (0: in1 .. 15: out8, then the
  // rules from 16: both_directions) is `bit`.
  static int first(const std::vector<std::string>& rows, int column, char bit, int from = 0) {
    for (int r = from; r < static_cast<int>(rows.size()); ++r)
      if (rows[r].size() > static_cast<std::size_t>(2 * column) && rows[r][2 * column] == bit) return r;
    return -1;
  }
  std::string path = "/tmp/placasim-vcd-test-" + std::to_string(getpid()) + ".vcd";
  std::unique_ptr<placasim::VcdRecorder> vcd;
};

TEST_F(Waveform, ATripReadsBackWithItsTransitionsAtTheirTimes) {
  feed();
  pass(100 * kMs);
  board_hold_input(b, 3, true);  // call for floor 3
  pass(200 * kMs);
  board_hold_input(b, 3, false);
  set_outputs(kOutputTowardTop);  // at 0.300 s
  feed();
  pass(4875 * kMs);  // to just inside floor 3's band
  set_outputs(0);
  feed();
  pass(500 * kMs);
  ASSERT_TRUE(vcd->finish());

  const auto rows = read_back();
  ASSERT_GE(rows.size(), 5500u) << "5.675 s at 1 kHz";
  EXPECT_EQ(rows[0].size(), 43u) << "16 one-bit signals and the 6 rules: " << rows[0];
  EXPECT_EQ(rows[0].substr(0, 16), "0,0,0,1,0,0,0,0,") << "floor 1 sensor lit at the start";
  EXPECT_NEAR(first(rows, 2, '1'), 100, 2) << "in3 pressed";
  EXPECT_NEAR(first(rows, 2, '0', 150), 300, 2) << "in3 released";
  EXPECT_NEAR(first(rows, 9, '1'), 300, 2) << "out2 on";
  EXPECT_NEAR(first(rows, 3, '0'), 300 + 125, 3) << "floor 1 sensor off after 0.05 floor";
  EXPECT_NEAR(first(rows, 4, '1'), 300 + 2375, 3) << "floor 2 sensor on";
  EXPECT_NEAR(first(rows, 4, '0', 2700), 300 + 2625, 3) << "and off again";
  EXPECT_NEAR(first(rows, 5, '1'), 300 + 4875, 3) << "floor 3 sensor";
  EXPECT_NEAR(first(rows, 9, '0', 400), 300 + 4875, 3) << "out2 off";
  EXPECT_EQ(first(rows, 8, '1'), -1) << "out1 never on";
  for (int rule = 16; rule < 22; ++rule) EXPECT_EQ(first(rows, rule, '1'), -1) << "no rule broken: " << rule;
}

TEST_F(Waveform, AStalledMotorRaisesItsRuleUntilTheMotorStops) {
  feed();
  fault_motor(b, MotorFault::stalled);
  set_outputs(kOutputTowardTop);
  feed();
  pass(1500 * kMs);
  set_outputs(0);
  feed();
  pass(100 * kMs);
  ASSERT_TRUE(vcd->finish());
  const auto rows = read_back();
  const int stall = 16 + static_cast<int>(placasim::Rule::stall);
  EXPECT_NEAR(first(rows, stall, '1'), 1000, 4) << "past the second";
  EXPECT_NEAR(first(rows, stall, '0', 1100), 1500, 4) << "until the motor stops";
}

TEST_F(Waveform, MotorStatesCabinAndAnalogInputsAreRecordedAsReals) {
  feed();
  board_set_analog(b, 2, 200);
  set_outputs(kOutputTowardTop | 0x40);
  feed();
  pass(10 * kMs);
  ASSERT_TRUE(vcd->finish());
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  EXPECT_NE(s.find("$timescale\n  1us\n$end"), std::string::npos);
  EXPECT_NE(s.find("$var real 64 1 motor1 $end"), std::string::npos) << s.substr(0, 600);
  EXPECT_NE(s.find("\nr1 1\n"), std::string::npos) << "motor 1 'D'";
  EXPECT_NE(s.find("\nr-1 4\n"), std::string::npos) << "motor 4 'I' (output 7)";
  EXPECT_NE(s.find("\nr200 6\n"), std::string::npos) << "analog 2";
  EXPECT_NE(s.find("\nr1.0000 9\n"), std::string::npos) << "the cabin at the start";
  EXPECT_NE(s.find("\nr1.0032 9\n"), std::string::npos) << "and moving, every 1/1000 floor or more";
  EXPECT_EQ(s.substr(s.size() - 8), "\n#10000\n") << "the recording lasts to its last look";
}

TEST(WaveformFile, OneThatCannotBeWrittenIsRefusedAtOnce) {
  std::string error;
  EXPECT_EQ(placasim::VcdRecorder::open("/nonexistent-dir/x.vcd", &error), nullptr);
  EXPECT_NE(error.find("/nonexistent-dir/x.vcd"), std::string::npos) << error;
}

}  // namespace
