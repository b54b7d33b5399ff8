#include "recordings/plot.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "faults.h"
#include "host/child.h"

namespace placasim {

namespace {

namespace fs = std::filesystem;

constexpr double kPositionStep = 0.01;  // floors between two cabin points (25 ms of travel)
// gnuplot runs in the data's folder and finds everything there by name: a gnuplot of
// the host system that Wine starts reads no Windows paths. It draws the picture there,
// and writes kFinished once the picture is closed.
constexpr const char* kScript = "timeline.gp";
constexpr const char* kFinished = "finished";
// How long a gnuplot whose end placasim cannot follow is given to finish.
constexpr int kUnfollowedWaitMs = 30000;
constexpr int kPollMs = 20;

// A folder of its own for the data, only the user may enter.
std::string make_data_dir(std::string* error) {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) {
    *error = "cannot find a folder for the timeline's data: " + ec.message();
    return "";
  }
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path dir = base / ("placasim-plot-" + std::to_string(entropy()));
    if (fs::create_directory(dir, ec)) {
      fs::permissions(dir, fs::perms::owner_all, ec);
      return dir.string();
    }
  }
  *error = "cannot make a folder for the timeline's data in " + base.string() + (ec ? ": " + ec.message() : "");
  return "";
}

// Into the file the user named, which open() made sure can be written.
bool copied(const fs::path& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  out.close();
  return in && out;
}

// For a gnuplot that cannot be followed, its note that it finished.
bool appears(const fs::path& file, int wait_ms) {
  for (int waited = 0; waited < wait_ms; waited += kPollMs) {
    if (fs::exists(file)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
  return fs::exists(file);
}

// gnuplot takes single-quoted strings; a quote is doubled.
std::string gp_string(const std::string& s) {
  std::string r = "'";
  for (const char c : s) r += c == '\'' ? std::string("''") : std::string(1, c);
  return r + "'";
}

// gnuplot as its user has it: the program $PLACASIM_GNUPLOT names, else the one found.
std::string gnuplot_program(std::string* error) {
  if (const char* named = std::getenv(kGnuplotEnv); named && *named) {
    if (is_program(named)) return named;
    *error = std::string(kGnuplotEnv) + " names " + named + ", which is not a program that can be run";
    return "";
  }
  return find_gnuplot(error);
}

// The lift motor (motor 1).
int motor_value(uint8_t outputs) { return sim::motor_direction(sim::motor_state(outputs, 1)); }

}  // namespace

std::unique_ptr<PlotRecorder> PlotRecorder::open(const std::string& svg_path, const Limits& limits,
                                                 std::string* error) {
  const std::string gnuplot = gnuplot_program(error);
  if (gnuplot.empty()) return nullptr;
  std::FILE* probe = std::fopen(svg_path.c_str(), "w");
  if (!probe) {
    *error = "cannot write the timeline " + svg_path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::fclose(probe);
  const std::string dir = make_data_dir(error);
  if (dir.empty()) return nullptr;
  std::unique_ptr<PlotRecorder> plot(new PlotRecorder(svg_path, dir, gnuplot, limits));
  for (int s = 0; s < kSeries; ++s) {
    plot->files_[s] = std::fopen(plot->data_path(static_cast<Series>(s)).c_str(), "w");
    if (!plot->files_[s]) {
      *error = "cannot write the timeline's data in " + plot->dir_ + ": " + std::strerror(errno);
      return nullptr;
    }
  }
  return plot;
}

PlotRecorder::PlotRecorder(std::string svg, std::string dir, std::string gnuplot, const Limits& limits)
    : svg_(std::move(svg)), dir_(std::move(dir)), gnuplot_(std::move(gnuplot)), checks_(limits) {}

PlotRecorder::~PlotRecorder() {
  for (std::FILE* f : files_)
    if (f) std::fclose(f);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string PlotRecorder::data_path(Series s) const { return (fs::path(dir_) / kNames[s]).string(); }

void PlotRecorder::point(Series s, int64_t time_ns, double value) {
  std::fprintf(files_[s], "%.4f %g\n", static_cast<double>(time_ns - start_ns_) / 1e9, value);
  ++points_[s];
}

// A span ends: from *since_ns to until_ns on row, when one was open.
void PlotRecorder::span(Series s, int row, int64_t* since_ns, int64_t until_ns) {
  if (*since_ns < 0) return;
  std::fprintf(files_[s], "%.4f %d %.4f\n", static_cast<double>(*since_ns - start_ns_) / 1e9, row,
               static_cast<double>(until_ns - *since_ns) / 1e9);
  ++points_[s];
  *since_ns = -1;
}

void PlotRecorder::follow_spans(const sim::BoardState& board, int64_t now_ns) {
  const uint8_t inputs = sim::board_inputs(board);
  for (int floor = 1; floor <= sim::kFloors; ++floor) {
    int64_t& since = sensor_since_[floor - 1];
    if (inputs & (1u << (sim::kFirstSensorInput + floor - 2)))
      since = since < 0 ? now_ns : since;
    else
      span(Series::sensors, floor, &since, now_ns);
  }
  const std::vector<std::string> set = sim::active_faults(board);
  for (const std::string& fault : set) {
    const auto row = std::find(fault_rows_.begin(), fault_rows_.end(), fault);
    if (row == fault_rows_.end()) {
      fault_rows_.push_back(fault);
      fault_since_.push_back(now_ns);
    } else if (fault_since_[row - fault_rows_.begin()] < 0) {
      fault_since_[row - fault_rows_.begin()] = now_ns;
    }
  }
  for (std::size_t row = 0; row < fault_rows_.size(); ++row)
    if (std::find(set.begin(), set.end(), fault_rows_[row]) == set.end())
      span(Series::faults, sim::kFloors + static_cast<int>(row + 1), &fault_since_[row], now_ns);
}

void PlotRecorder::on_change(const sim::OutputChange& change) {
  checks_.on_change(change);
  if (!started_) return;
  const int motor = motor_value(change.outputs);
  if (motor != last_motor_) {
    point(Series::motor, change.time_ns, motor);
    last_motor_ = motor;
  }
  point(Series::cabin, change.time_ns, change.position);
  last_position_ = change.position;
}

void PlotRecorder::on_look(const sim::BoardState& board, int64_t now_ns) {
  if (!started_) {
    started_ = true;
    start_ns_ = now_ns;
  }
  checks_.on_look(board, now_ns);
  last_ns_ = now_ns;
  for (const Violation& v : checks_.take_new()) point(Series::violations, v.time_ns, static_cast<int>(v.rule) + 1);
  const int motor = motor_value(board.outputs);
  if (motor != last_motor_) {
    point(Series::motor, now_ns, motor);
    last_motor_ = motor;
  }
  if (std::fabs(board.position - last_position_) >= kPositionStep) {
    point(Series::cabin, now_ns, board.position);
    last_position_ = board.position;
  }
  follow_spans(board, now_ns);
  // A call: a call button (inputs 1..3) coming on.
  const uint8_t calls = sim::board_inputs(board) & 0x07;
  for (int floor = 1; floor <= sim::kFloors; ++floor)
    if ((calls & ~last_calls_) & (1u << (floor - 1))) point(Series::calls, now_ns, floor);
  last_calls_ = calls;
}

bool PlotRecorder::finish(std::string* error) {
  if (started_) {  // the lines go on to the end of the run
    point(Series::motor, last_ns_, last_motor_);
    point(Series::cabin, last_ns_, last_position_);
    for (int floor = 1; floor <= sim::kFloors; ++floor) span(Series::sensors, floor, &sensor_since_[floor - 1], last_ns_);
    for (std::size_t row = 0; row < fault_rows_.size(); ++row)
      span(Series::faults, sim::kFloors + static_cast<int>(row + 1), &fault_since_[row], last_ns_);
  }
  for (int s = 0; s < kSeries; ++s) {
    if (files_[s] && std::fclose(files_[s]) != 0) *error = "cannot write the timeline's data";
    files_[s] = nullptr;
  }
  if (!error->empty()) return false;
  std::ofstream gp(fs::path(dir_) / kScript);
  auto series = [&](Series s, const std::string& how) {
    return points_[s] ? gp_string(kNames[s]) + " using 1:2 " + how : std::string();
  };
  auto plot = [&](std::vector<std::string> parts) {
    std::string line;
    for (const auto& p : parts)
      if (!p.empty()) line += (line.empty() ? "plot " : ", ") + p;
    return line.empty() ? "plot NaN notitle" : line;
  };
  // Spans of one row: a bar from the start for the length.
  auto spans = [&](Series s, const std::string& how) {
    return points_[s] ? gp_string(kNames[s]) + " using 1:2:3:(0) with vectors nohead " + how : std::string();
  };
  std::string rules;
  for (int r = 0; r < kRules; ++r) rules += std::string(r ? ", " : "") + "'" + rule_name(static_cast<Rule>(r)) + "' " + std::to_string(r + 1);
  // Sensors on rows 1..3, the faults above them.
  std::string rows;
  for (int floor = 1; floor <= sim::kFloors; ++floor)
    rows += (floor > 1 ? ", " : "") + gp_string("in " + std::to_string(sim::kFirstSensorInput + floor - 1) + " (floor " +
                                             std::to_string(floor) + ")") + " " + std::to_string(floor);
  for (std::size_t row = 0; row < fault_rows_.size(); ++row)
    rows += ", " + gp_string(fault_rows_[row]) + " " + std::to_string(sim::kFloors + row + 1);
  const bool png = svg_.size() > 4 && svg_.compare(svg_.size() - 4, 4, ".png") == 0;
  const std::string picture = png ? "timeline.png" : "timeline.svg";
  const double seconds = std::max(0.1, static_cast<double>(last_ns_ - start_ns_) / 1e9);
  gp << (png ? "set terminal pngcairo size 1000,800 font 'sans,10' background rgb 'white'\n"
             : "set terminal svg size 1000,800 dynamic font 'sans,12' background rgb 'white'\n")
     << "set output " << gp_string(picture) << "\n"
     << "set termoption noenhanced\n"  // names keep their '_'
     << "set multiplot layout 4,1 title "
     << gp_string("placasim: " + (run_.empty() ? std::string("the run as a timeline") : run_)) << "\n"
     << "set lmargin 22\nset rmargin 16\n"  // the panels align
     << "set grid xtics\nset key outside right\nset xlabel 'seconds'\n"
     // A little room after the end, so that a mark at the last moment is not on the border.
     << "set xrange [0:" << seconds + std::max(0.1, seconds * 0.03) << "]\n"
     << "set ylabel 'floor'\nset yrange [0.8:3.2]\nset ytics 1\n"
     << plot({series(cabin, "with lines lw 2 lc rgb '#d08a00' title 'cabin'"),
              series(calls, "with points pt 7 ps 1.2 lc rgb '#3060c0' title 'call'")})
     << "\nset ylabel 'lift motor'\nset yrange [-1.4:1.4]\nset ytics ('I (down)' -1, 'P' 0, 'D (up)' 1)\n"
     << plot({series(motor, "with steps lw 2 lc rgb '#208040' title 'motor 1'")})
     << "\nset ylabel 'lit, set'\nset yrange [0.5:" << sim::kFloors + fault_rows_.size() + 0.5 << "]\nset ytics ("
     << rows << ")\n"
     << plot({spans(sensors, "lw 6 lc rgb '#30a050' title 'sensor lit'"),
              spans(faults, "lw 6 lc rgb '#8040a0' title 'fault set'")})
     << "\nset ylabel 'rule broken'\nset yrange [0.5:" << kRules + 0.5 << "]\nset ytics (" << rules << ")\n"
     << plot({series(violations, "with impulses lw 3 lc rgb '#d02020' title 'violation'"),
              series(violations, "with points pt 7 lc rgb '#d02020' notitle")})
     << "\nunset multiplot\nunset output\n"
     << "set print " << gp_string(kFinished) << "\nprint 'drawn'\nunset print\n";
  gp.close();
  if (!gp) {
    *error = "cannot write the timeline's gnuplot script";
    return false;
  }
  auto child = Child::start_tool({gnuplot_, kScript}, dir_, error);
  if (!child) return false;
  const fs::path finished = fs::path(dir_) / kFinished;
  if (child->followed()) {
    const int code = child->wait();
    if (code != 0) {
      *error = "gnuplot could not draw the timeline (exit code " + std::to_string(code) + ")";
      return false;
    }
  } else if (!appears(finished, kUnfollowedWaitMs)) {
    *error = "gnuplot did not draw the timeline within " + std::to_string(kUnfollowedWaitMs / 1000) + " s";
    return false;
  }
  if (!fs::exists(finished) || !copied(fs::path(dir_) / picture, svg_)) {
    *error = "the timeline could not be written to " + svg_;
    return false;
  }
  return true;
}

}  // namespace placasim
