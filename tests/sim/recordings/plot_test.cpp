// The timeline of a scripted trip: gnuplot draws it, and its data shows the trip
// (checked in the data, not in the pixels). The same on Windows, where the tests
// under Wine name the host's gnuplot in PLACASIM_GNUPLOT.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <fstream>
#include <sstream>

#include "faults.h"
#include "host/child.h"
#include "recordings/followed_fixture.h"
#include "recordings/plot.h"
#include "simulated_board/os_helpers.h"

namespace {

using namespace sim;
using placasim::PlotRecorder;
namespace fs = std::filesystem;

std::string temp_file(const std::string& stem) {
  return (fs::temp_directory_path() / (stem + "-" + std::to_string(simtest::process_id()) + ".svg")).string();
}

std::vector<std::pair<double, double>> rows(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::pair<double, double>> r;
  for (double t, v; in >> t >> v;) r.emplace_back(t, v);
  return r;
}

std::string text_of(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Timeline : public Followed {
 protected:
  void SetUp() override {
    Model::SetUp();
    std::string error;
    plot = PlotRecorder::open(svg, {}, &error);
    ASSERT_NE(plot, nullptr) << error;
    follower = plot.get();
  }
  void TearDown() override { std::remove(svg.c_str()); }
  void write(uint8_t outputs) {
    set_outputs(outputs);
    feed();
  }
  std::string svg = temp_file("placasim-plot-test");
  std::unique_ptr<PlotRecorder> plot;
};

TEST_F(Timeline, ATripWithACallAndABreachIsDrawnFromItsData) {
  feed();
  pass(100 * kMs);
  board_hold_input(b, 3, true);
  pass(200 * kMs);
  board_hold_input(b, 3, false);
  write(kOutputTowardTop);  // 0.3 s
  pass(2 * kS);
  write(0x03);              // both on at 2.3 s: a breach
  write(kOutputTowardTop);
  pass(2875 * kMs);
  write(0);                 // floor 3 reached at 5.175 s
  pass(500 * kMs);
  std::string error;
  ASSERT_TRUE(plot->finish(&error)) << error;

  const auto cabin = rows(plot->data_path(PlotRecorder::cabin));
  ASSERT_GE(cabin.size(), 150u) << "a point every 1/100 floor";
  EXPECT_DOUBLE_EQ(cabin.front().second, 1.0);
  EXPECT_NEAR(cabin.back().first, 5.675, 0.003);
  EXPECT_NEAR(cabin.back().second, 3 - kSensorHalfBand, 0.005);
  for (std::size_t i = 1; i < cabin.size(); ++i) ASSERT_GE(cabin[i].second, cabin[i - 1].second) << "only up";

  const auto motor = rows(plot->data_path(PlotRecorder::motor));
  ASSERT_GE(motor.size(), 4u);
  EXPECT_EQ(motor[0], std::make_pair(0.0, 0.0));
  EXPECT_NEAR(motor[1].first, 0.3, 0.003);
  EXPECT_EQ(motor[1].second, 1) << "D: up";
  EXPECT_EQ(motor[2].second, 0) << "both on stops it";
  EXPECT_NEAR(motor[2].first, 2.3, 0.003);
  EXPECT_EQ(motor[motor.size() - 2].second, 0) << "stopped at floor 3";
  EXPECT_NEAR(motor[motor.size() - 2].first, 5.175, 0.003);

  const auto calls = rows(plot->data_path(PlotRecorder::calls));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NEAR(calls[0].first, 0.1, 0.003);
  EXPECT_EQ(calls[0].second, 3);

  const auto violations = rows(plot->data_path(PlotRecorder::violations));
  ASSERT_EQ(violations.size(), 1u);
  EXPECT_NEAR(violations[0].first, 2.3, 0.003);
  EXPECT_EQ(violations[0].second, static_cast<int>(placasim::Rule::both_directions) + 1);

  const std::string picture = text_of(svg);
  EXPECT_EQ(picture.rfind("<?xml", 0), 0u) << "an SVG document";
  EXPECT_NE(picture.find("<svg"), std::string::npos);
  EXPECT_NE(picture.find("</svg>"), std::string::npos) << "complete";
  EXPECT_NE(picture.find("both_directions"), std::string::npos) << "the rules named on their axis";
}

// "start row length" lines.
std::vector<std::array<double, 3>> spans(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::array<double, 3>> r;
  for (double t, row, length; in >> t >> row >> length;) r.push_back({t, row, length});
  return r;
}

TEST_F(Timeline, NamesTheRunAndShowsTheSensorsLitAndTheFaultsSet) {
  plot->name_run("stuck.txt with ./lift");
  feed();
  pass(100 * kMs);
  fault_stick_input(b, 5, false);  // floor 2's sensor
  write(kOutputTowardTop);          // at 0.1 s; floor 1's band left at 0.225 s
  pass(5 * kS);                     // past floor 2 without its sensor, to floor 3
  write(0);
  faults_clear(b);
  pass(200 * kMs);
  std::string error;
  ASSERT_TRUE(plot->finish(&error)) << error;

  const auto sensors = spans(plot->data_path(PlotRecorder::sensors));
  ASSERT_EQ(sensors.size(), 2u) << "floors 1 and 3 lit; floor 2 never";
  EXPECT_EQ(sensors[0][1], 1);
  EXPECT_NEAR(sensors[0][2], 0.225, 0.003);
  EXPECT_EQ(sensors[1][1], 3);
  EXPECT_NEAR(sensors[1][0] + sensors[1][2], 5.3, 0.003) << "lit to the end of the run";
  const auto faults = spans(plot->data_path(PlotRecorder::faults));
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0][1], kFloors + 1);
  EXPECT_EQ(plot->fault_name(1), "input 5 stuck off");
  EXPECT_NEAR(faults[0][0], 0.1, 0.003);
  EXPECT_NEAR(faults[0][2], 5.0, 0.003) << "until cleared";
  const std::string picture = text_of(svg);
  EXPECT_NE(picture.find("placasim: stuck.txt with ./lift"), std::string::npos);
  EXPECT_NE(picture.find("input 5 stuck off"), std::string::npos) << "the fault named on its row";
}

TEST(TimelineFile, OneThatCannotBeWrittenIsRefusedAtOnce) {
  std::string error;
  EXPECT_EQ(PlotRecorder::open("/nonexistent-dir/t.svg", {}, &error), nullptr);
  EXPECT_NE(error.find("/nonexistent-dir/t.svg"), std::string::npos) << error;
}

TEST(TimelineFile, ItsDataLeavesNoTraceBehind) {
  const std::string svg = temp_file("placasim-plot-gone");
  std::string error, data;
  {
    auto plot = PlotRecorder::open(svg, {}, &error);
    ASSERT_NE(plot, nullptr) << error;
    data = plot->data_path(PlotRecorder::cabin);
    EXPECT_TRUE(fs::exists(data));
  }
  EXPECT_FALSE(fs::exists(data));
  EXPECT_FALSE(fs::exists(fs::path(data).parent_path())) << "nor its folder";
  std::remove(svg.c_str());
}

// The environment as the test found it, again at the end.
class Environment : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const auto& [name, value] : saved)
      value ? simtest::set_env(name, value->c_str()) : simtest::unset_env(name);
  }
  void set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    value ? simtest::set_env(name, value) : simtest::unset_env(name);
  }
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
};

using WithoutGnuplot = Environment;

TEST_F(WithoutGnuplot, TheTimelineIsRefusedBeforeTheRunSayingWhatToInstall) {
  set(placasim::kGnuplotEnv, nullptr);
  set("PATH", "");
  set("ProgramFiles", "");  // Windows: nor in its installer's folder
  set("ProgramW6432", "");
  set("ProgramFiles(x86)", "");
  const std::string svg = temp_file("placasim-plot-none");
  std::string error;
  EXPECT_EQ(PlotRecorder::open(svg, {}, &error), nullptr);
  EXPECT_NE(error.find("needs gnuplot"), std::string::npos) << error;
  EXPECT_NE(error.find("install"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(svg)) << "a file of the user's name left empty";
}

TEST_F(WithoutGnuplot, AProgramNamedThatIsNotThereIsNamedInTheRefusal) {
  const std::string missing = (fs::temp_directory_path() / "no-such-gnuplot").string();
  set(placasim::kGnuplotEnv, missing.c_str());
  std::string error;
  EXPECT_EQ(PlotRecorder::open(temp_file("placasim-plot-named"), {}, &error), nullptr);
  EXPECT_NE(error.find(missing), std::string::npos) << error;
}

}  // namespace
