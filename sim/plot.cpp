#include "plot.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "child.h"

namespace placasim {

namespace {

constexpr double kPositionStep = 0.01;  // floors between two cabin points (25 ms of travel)

bool in_path(const std::string& program) {
  const char* path = getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (access(((dir.empty() ? "." : dir) + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

// gnuplot takes single-quoted strings; a quote is doubled.
std::string quoted(const std::string& s) {
  std::string r = "'";
  for (const char c : s) r += c == '\'' ? std::string("''") : std::string(1, c);
  return r + "'";
}

int motor_value(uint8_t outputs) {
  const char state = sim::motor_state(outputs, 1);
  return state == 'I' ? -1 : state == 'D' ? 1 : 0;
}

}  // namespace

std::unique_ptr<PlotRecorder> PlotRecorder::open(const std::string& svg_path, double needless_limit,
                                                 std::string* error) {
  std::FILE* probe = std::fopen(svg_path.c_str(), "w");
  if (!probe) {
    *error = "cannot write the timeline " + svg_path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::fclose(probe);
  if (!in_path("gnuplot")) {
    *error = "the timeline needs gnuplot, which is not installed (scripts/setup installs it)";
    return nullptr;
  }
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/placasim-plot-XXXXXX";
  std::vector<char> dir(pattern.begin(), pattern.end());
  dir.push_back('\0');
  if (!mkdtemp(dir.data())) {
    *error = std::string("cannot make a folder for the timeline's data: ") + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<PlotRecorder> plot(new PlotRecorder(svg_path, dir.data(), needless_limit));
  for (int s = 0; s < kSeries; ++s) {
    plot->files_[s] = std::fopen(plot->data_path(static_cast<Series>(s)).c_str(), "w");
    if (!plot->files_[s]) {
      *error = "cannot write the timeline's data in " + plot->dir_ + ": " + std::strerror(errno);
      return nullptr;
    }
  }
  return plot;
}

PlotRecorder::PlotRecorder(std::string svg, std::string dir, double needless_limit)
    : svg_(std::move(svg)), dir_(std::move(dir)), checks_(needless_limit) {}

PlotRecorder::~PlotRecorder() {
  for (int s = 0; s < kSeries; ++s) {
    if (files_[s]) std::fclose(files_[s]);
    unlink(data_path(static_cast<Series>(s)).c_str());
  }
  unlink((dir_ + "/timeline.gp").c_str());
  rmdir(dir_.c_str());
}

void PlotRecorder::point(Series s, int64_t time_ns, double value) {
  std::fprintf(files_[s], "%.4f %g\n", static_cast<double>(time_ns - start_ns_) / 1e9, value);
  ++points_[s];
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
  }
  for (int s = 0; s < kSeries; ++s) {
    if (files_[s] && std::fclose(files_[s]) != 0) *error = "cannot write the timeline's data";
    files_[s] = nullptr;
  }
  if (!error->empty()) return false;
  const std::string script = dir_ + "/timeline.gp";
  std::ofstream gp(script);
  auto series = [&](Series s, const std::string& how) {
    return points_[s] ? quoted(data_path(s)) + " using 1:2 " + how : std::string();
  };
  auto plot = [&](std::vector<std::string> parts) {
    std::string line;
    for (const auto& p : parts)
      if (!p.empty()) line += (line.empty() ? "plot " : ", ") + p;
    return line.empty() ? "plot NaN notitle" : line;
  };
  std::string rules;
  for (int r = 0; r < kRules; ++r) rules += std::string(r ? ", " : "") + "'" + rule_name(static_cast<Rule>(r)) + "' " + std::to_string(r + 1);
  const bool png = svg_.size() > 4 && svg_.compare(svg_.size() - 4, 4, ".png") == 0;
  gp << (png ? "set terminal pngcairo size 1000,620 font 'sans,10' background rgb 'white'\n"
             : "set terminal svg size 1000,620 dynamic font 'sans,12' background rgb 'white'\n")
     << "set output " << quoted(svg_) << "\n"
     << "set multiplot layout 3,1 title 'placasim: the run as a timeline'\n"
     << "set termoption noenhanced\nset lmargin 16\nset rmargin 16\n"  // rule names keep their '_'; panels align
     << "set grid xtics\nset key outside right\nset xlabel 'seconds'\n"
     << "set xrange [0:" << std::max(0.1, static_cast<double>(last_ns_ - start_ns_) / 1e9) << "]\n"
     << "set ylabel 'floor'\nset yrange [0.8:3.2]\nset ytics 1\n"
     << plot({series(cabin, "with lines lw 2 lc rgb '#d08a00' title 'cabin'"),
              series(calls, "with points pt 7 ps 1.2 lc rgb '#3060c0' title 'call'")})
     << "\nset ylabel 'lift motor'\nset yrange [-1.4:1.4]\nset ytics ('I (down)' -1, 'P' 0, 'D (up)' 1)\n"
     << plot({series(motor, "with steps lw 2 lc rgb '#208040' title 'motor 1'")})
     << "\nset ylabel 'rule broken'\nset yrange [0.5:" << kRules + 0.5 << "]\nset ytics (" << rules << ")\n"
     << plot({series(violations, "with impulses lw 3 lc rgb '#d02020' title 'violation'"),
              series(violations, "with points pt 7 lc rgb '#d02020' notitle")})
     << "\nunset multiplot\n";
  gp.close();
  if (!gp) {
    *error = "cannot write the timeline's gnuplot script";
    return false;
  }
  auto child = Child::start({"gnuplot", script}, true, error);
  if (!child) return false;
  const int code = child->wait();
  if (code != 0) *error = "gnuplot could not draw the timeline (exit code " + std::to_string(code) + ")";
  return code == 0;
}

}  // namespace placasim
