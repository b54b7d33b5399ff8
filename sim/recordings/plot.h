// The timeline of a run as a picture: the cabin's position, the lift motor, the calls,
// the floor sensors lit and the faults set, and the broken rules over time, drawn by gnuplot when the run is over (SVG, or PNG
// for a file named *.png), on both systems; host/*/child.cpp find and start it. The data
// goes to temporary files as the run goes, so a long run keeps its memory flat.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "checks/checks.h"
#include "recordings/observer.h"

namespace placasim {

class PlotRecorder : public Observer {
 public:
  // Makes sure the picture can be written and gnuplot is there, before the run; null
  // and *error when not. limits as for Checks.
  static std::unique_ptr<PlotRecorder> open(const std::string& svg_path, const Limits& limits, std::string* error);
  ~PlotRecorder() override;

  void on_change(const sim::OutputChange& change) override;
  void on_look(const sim::BoardState& board, int64_t now_ns) override;
  void on_power_on(const sim::BoardState& board) override { checks_.on_power_on(board); }
  // What ran, for the picture's title ("script with program").
  void name_run(const std::string& run) { run_ = run; }
  // Draws the picture; false and *error when gnuplot could not.
  bool finish(std::string* error);

  // The data files, each "seconds value" per line: cabin (floors), motor (-1, 0, +1
  // for 'I', 'P', 'D'), calls (the floor called), violations (the rule's number);
  // spans as "start row length": sensors (row f: floor f's sensor lit), faults (row
  // kFloors + n: the fault fault_name(n) set).
  enum Series { cabin, motor, calls, violations, sensors, faults, kSeries };
  std::string data_path(Series s) const;
  const std::string& fault_name(int row) const { return fault_rows_.at(row - 1); }

 private:
  static constexpr const char* kNames[kSeries] = {"cabin.dat",      "motor.dat",   "calls.dat",
                                                  "violations.dat", "sensors.dat", "faults.dat"};
  PlotRecorder(std::string svg, std::string dir, std::string gnuplot, const Limits& limits);
  void point(Series s, int64_t time_ns, double value);
  void span(Series s, int row, int64_t* since_ns, int64_t until_ns);
  void follow_spans(const sim::BoardState& board, int64_t now_ns);

  std::string svg_, dir_, gnuplot_;
  std::FILE* files_[kSeries] = {};
  int points_[kSeries] = {};
  Checks checks_;
  bool started_ = false;
  int64_t start_ns_ = 0;
  double last_position_ = -1;
  int last_motor_ = 2;      // none yet
  uint8_t last_calls_ = 0;
  int64_t last_ns_ = 0;     // the last look
  std::string run_;
  int64_t sensor_since_[sim::kFloors] = {-1, -1, -1};  // lit since; -1: not lit
  std::vector<std::string> fault_rows_;
  std::vector<int64_t> fault_since_;                  // set since, by row; -1: not set
};

}  // namespace placasim
