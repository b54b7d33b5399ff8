#include "script/script.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

#include "faults.h"

namespace placasim {

namespace {

constexpr double kDefaultTapSeconds = 0.3;
constexpr double kMaxSeconds = 24 * 3600.0;
constexpr int64_t kPollNs = 2000000;          // how often the board is looked at
constexpr int64_t kCabinSampleNs = 100000000; // cabin position while it moves
constexpr int64_t kWindowPollNs = 20000000;   // how often the screen is looked at
constexpr int64_t kRaiseLimitNs = 5000000000; // for a raised window to come on top
// How long it must have been on top and answering before the click: a window that has
// only just appeared can drop a click (Wine shows one before its program takes input).
constexpr int64_t kSettleNs = 300000000;

std::vector<std::string> split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

}  // namespace

bool parse_int(const std::string& s, int lo, int hi, int* out) {
  if (s.empty() || s.size() > 12) return false;
  errno = 0;
  char* end = nullptr;
  // Decimal or 0x hex; a leading 0 is not octal.
  const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  if (!std::isxdigit(static_cast<unsigned char>(s[hex ? 2 : 0]))) return false;
  const long v = std::strtol(s.c_str(), &end, hex ? 16 : 10);
  if (errno || *end || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

bool parse_seconds(const std::string& s, double* out) {
  if (s.empty() || s.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (*end || !std::isfinite(v) || v < 0 || v > kMaxSeconds) return false;
  *out = v;
  return true;
}

namespace {

// The same blanks that split() parts words on, so that a blank line has no words.
constexpr const char* kBlanks = " \t\r\v\f";

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(kBlanks);
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

// Parses one step; false with *error on a bad one.
bool parse_step(const std::string& raw, Step* step, std::string* error) {
  const auto bad = [error](std::string why) {
    *error = std::move(why);
    return false;
  };
  const std::string line = trim(raw);
  if (line.rfind("run", 0) == 0 && (line.size() == 3 || line[3] == ' ' || line[3] == '\t')) {
    step->kind = StepKind::run;
    step->command = trim(line.substr(3));
    step->text = line;
    return !step->command.empty() || bad("run needs a command");
  }
  if (const WindowVerb verb = window_step_verb(line); verb != WindowVerb::none) {
    step->kind = verb == WindowVerb::click ? StepKind::click : StepKind::window;
    return parse_window_step(line, verb, &step->window, &step->text, error);
  }
  const std::string code = trim(line.substr(0, line.find('#')));
  step->text = code;
  const std::vector<std::string> w = split(code);
  if (w.empty()) return bad("no step before the comment");
  const std::string& verb = w[0];
  auto want = [&](std::size_t lo, std::size_t hi) { return w.size() >= lo && w.size() <= hi; };

  if (verb == "wait") {
    step->kind = StepKind::wait;
    if (!want(2, 2) || !parse_seconds(w[1], &step->seconds)) return bad("use: wait SECONDS");
  } else if (verb == "press" || verb == "release") {
    step->kind = verb == "press" ? StepKind::press : StepKind::release;
    if (!want(2, 2) || !parse_int(w[1], 1, sim::kInputs, &step->number)) return bad("use: " + verb + " INPUT (1..8)");
  } else if (verb == "tap") {
    step->kind = StepKind::tap;
    step->seconds = kDefaultTapSeconds;
    if (!want(2, 3) || !parse_int(w[1], 1, sim::kInputs, &step->number) ||
        (w.size() == 3 && !parse_seconds(w[2], &step->seconds)))
      return bad("use: tap INPUT (1..8) [SECONDS]");
  } else if (verb == "switch") {
    if (!want(3, 3) || !(w[1] == "7" || w[1] == "8") || !(w[2] == "on" || w[2] == "off"))
      return bad("use: switch 7|8 on|off");
    step->kind = w[2] == "on" ? StepKind::press : StepKind::release;
    step->number = w[1][0] - '0';
  } else if (verb == "analog") {
    step->kind = StepKind::analog;
    if (!want(3, 3) || !parse_int(w[1], 1, sim::kAnalogInputs, &step->number) ||
        !parse_int(w[2], 0, 255, &step->value))
      return bad("use: analog INPUT (1..4) VALUE (0..255)");
  } else if (verb == "expect") {
    if (w.size() < 2) return bad("use: expect outputs|motor|floor ...");
    std::size_t rest = 0;
    const std::string& what = w[1];
    if (what == "outputs") {
      step->kind = StepKind::expect_outputs;
      if (w.size() < 3 || !parse_int(w[2], 0, 255, &step->value)) return bad("use: expect outputs BYTE [within SECONDS]");
      rest = 3;
    } else if (what == "motor") {
      step->kind = StepKind::expect_motor;
      if (w.size() < 4 || !parse_int(w[2], 1, sim::kMotors, &step->number) || w[3].size() != 1 ||
          std::string("IDPidp").find(w[3][0]) == std::string::npos)
        return bad("use: expect motor MOTOR (1..4) I|D|P [within SECONDS]");
      step->motor = static_cast<char>(std::toupper(static_cast<unsigned char>(w[3][0])));
      rest = 4;
    } else if (what == "floor") {
      step->kind = StepKind::expect_floor;
      if (w.size() < 3 || !parse_int(w[2], 1, sim::kFloors, &step->number))
        return bad("use: expect floor FLOOR (1..3) [within SECONDS]");
      rest = 3;
    } else {
      return bad("expect what? outputs, motor or floor");
    }
    if (w.size() == rest) return true;
    if (w.size() != rest + 2 || w[rest] != "within" || !parse_seconds(w[rest + 1], &step->seconds))
      return bad("an expectation ends with \"within SECONDS\" or nothing");
  } else if (verb == "fault" || verb == "clear") {
    step->kind = StepKind::fault;
    return parse_fault_step(w, &step->fault, error);
  } else {
    return bad("unknown step \"" + verb + "\"");
  }
  return true;
}

std::string fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string motors_text(uint8_t outputs) {
  std::string s;
  for (int m = 1; m <= sim::kMotors; ++m) s += sim::motor_state(outputs, m);
  return s;
}

class Runner {
 public:
  Runner(sim::SharedBoard& board, Clock& clock, std::ostream& out, const RunHooks& hooks)
      : board_(board), clock_(clock), out_(out), hooks_(hooks), t0_(clock.now_ns()), followers_(hooks.observers),
        history_(hooks.from_power_on) {
    if (hooks.checks) followers_.push_back(hooks.checks);
  }

  int run(const std::vector<Step>& steps) {
    look();
    emit("start", "\"board\":" + json_string(board_.name()) + ",\"outputs\":" + std::to_string(state_.outputs) +
                      ",\"position\":" + fixed(state_.position, 3));
    moving_ = sim::lift_moving(state_);
    floor_ = sim::floor_at(state_.position);
    int failures = 0;
    for (const Step& step : steps) {
      if (!perform(step)) {
        ++failures;
        if (why_.empty())
          why_ = cancelled_ ? std::string("interrupted")
                            : "line " + std::to_string(step.line) + ": " + step.text + " failed" +
                                  (detail_.empty() ? "" : " (" + detail_ + ")");
        break;
      }
    }
    observe();
    if (breached_) failures = 1;
    if (failures && hooks_.failure) *hooks_.failure = why_;
    summary();
    emit("end", std::string("\"ok\":") + (failures ? "false" : "true"));
    return failures ? kScriptFailed : kScriptPassed;
  }

 private:
  double seconds(int64_t t_ns) const { return static_cast<double>(t_ns - t0_) / sim::kNanosPerSecond; }

  void emit(const char* event, const std::string& fields, int64_t at_ns = -1) {
    out_ << "{\"t\":" << fixed(seconds(at_ns < 0 ? clock_.now_ns() : at_ns), 3) << ",\"event\":\"" << event << '"';
    if (!fields.empty()) out_ << ',' << fields;
    out_ << "}\n";
    out_.flush();  // a reader follows the trace as it is written
  }

  void look() {
    const int64_t now = clock_.now_ns();
    state_ = board_.with([&](sim::BoardState& s) {
      sim::board_advance(s, now);
      return s;
    });
  }

  // Brings the trace up to date: output changes, the cabin, the command.
  void observe() {
    look();
    const History::Step step = history_.next(state_);
    if (step.powered_on) {
      if (started_) emit("power_on", "", state_.powered_on_ns);
      for (Observer* o : followers_) o->on_power_on(state_);
    }
    started_ = true;
    if (step.missed) emit("missed", "\"changes\":" + std::to_string(step.missed));
    for (uint64_t i = step.from; i < step.to; ++i) {
      const sim::OutputChange& c = state_.changes[i % sim::kChangeHistory];
      emit("outputs",
           "\"outputs\":" + std::to_string(c.outputs) + ",\"motors\":\"" + motors_text(c.outputs) +
               "\",\"position\":" + fixed(c.position, 3),
           c.time_ns);
      if (watch_ && watch_(c.outputs)) matched_ = true;
      for (Observer* o : followers_) o->on_change(c);
    }
    const int64_t now = clock_.now_ns();
    for (Observer* o : followers_) o->on_look(state_, now);
    report_breaches();
    const bool moving = sim::lift_moving(state_);
    const int floor = sim::floor_at(state_.position);
    if (moving != moving_ || floor != floor_ || (moving && now - last_sample_ >= kCabinSampleNs)) {
      emit("cabin", "\"position\":" + fixed(state_.position, 3) + ",\"floor\":" + std::to_string(floor) +
                        ",\"moving\":" + (moving ? "true" : "false"));
      moving_ = moving;
      floor_ = floor;
      last_sample_ = now;
    }
    if (hooks_.command_ended && !command_reported_) {
      if (const auto code = hooks_.command_ended()) {
        emit("command_exit", "\"code\":" + std::to_string(*code));
        command_reported_ = true;
      }
    }
  }

  void report_breaches() {
    if (!hooks_.checks) return;
    for (const Violation& v : hooks_.checks->take_new()) {
      emit("violation", std::string("\"rule\":\"") + rule_name(v.rule) + "\",\"detail\":" + json_string(v.detail) +
                            (line_ ? ",\"line\":" + std::to_string(line_) : ""),
           v.time_ns);
      if (hooks_.strict && !breached_) {
        breached_ = true;
        why_ = std::string("rule ") + rule_name(v.rule) + " broken" +
               (line_ ? " at line " + std::to_string(line_) : "") + ": " + v.detail;
      }
    }
  }

  void summary() {
    if (!hooks_.checks) return;
    std::string counts;
    for (int r = 0; r < kRules; ++r) {
      const auto rule = static_cast<Rule>(r);
      counts += std::string(counts.empty() ? "" : ",") + "\"" + rule_name(rule) +
                "\":" + std::to_string(hooks_.checks->count(rule));
    }
    const WritesFigure w = hooks_.checks->writes();
    emit("summary", "\"violations\":{" + counts + "},\"motor_writes\":" + std::to_string(w.writes) +
                        ",\"needless_writes\":" + std::to_string(w.needless) + ",\"seconds\":" + fixed(w.seconds, 3));
  }

  // Keeps observing until the given time, or until done() holds.
  template <typename Done>
  bool pass_time_until(int64_t until_ns, Done done) {
    for (;;) {
      observe();
      if (done()) return true;
      if (cancelled() || breached_) return false;
      const int64_t now = clock_.now_ns();
      if (now >= until_ns) return false;
      clock_.sleep_ns(std::min(kPollNs, until_ns - now));
    }
  }

  void pass_time(double s) {
    pass_time_until(clock_.now_ns() + static_cast<int64_t>(s * sim::kNanosPerSecond), [] { return false; });
  }

  void hold(int input, bool on) {
    const int64_t now = clock_.now_ns();
    board_.with([&](sim::BoardState& s) {
      sim::board_advance(s, now);
      sim::board_hold_input(s, input, on);
    });
  }

  std::string step_fields(const Step& step) {
    return "\"line\":" + std::to_string(step.line) + ",\"step\":" + json_string(step.text);
  }

  std::string found() const {
    return "outputs " + std::to_string(state_.outputs) + " (motors " + motors_text(state_.outputs) + "), cabin at " +
           fixed(state_.position, 3) + (sim::lift_moving(state_) ? ", moving" : ", still");
  }

  bool expect(const Step& step) {
    std::function<bool(uint8_t)> on_outputs;
    std::function<bool()> holds;
    switch (step.kind) {
      case StepKind::expect_outputs:
        on_outputs = [v = step.value](uint8_t o) { return o == v; };
        break;
      case StepKind::expect_motor:
        on_outputs = [m = step.number, c = step.motor](uint8_t o) { return sim::motor_state(o, m) == c; };
        break;
      default:
        holds = [this, f = step.number] { return sim::floor_at(state_.position) == f && !sim::lift_moving(state_); };
        break;
    }
    // An output value that came and went between two looks still counts.
    matched_ = false;
    watch_ = on_outputs;
    if (on_outputs) holds = [this, on_outputs] { return matched_ || on_outputs(state_.outputs); };
    const int64_t deadline = clock_.now_ns() + static_cast<int64_t>(step.seconds * sim::kNanosPerSecond);
    const bool ok = pass_time_until(deadline, holds);
    watch_ = nullptr;
    if (!ok) detail_ = "found " + found();
    emit("expect", step_fields(step) + ",\"ok\":" + (ok ? "true" : "false") +
                       (ok ? "" : ",\"found\":" + json_string(found())));
    return ok;
  }

  bool run_shell(const Step& step) {
    std::string error;
    if (!hooks_.start_shell || !hooks_.start_shell(step.command, &error)) {
      detail_ = error.empty() ? "no shell" : error;
      emit("run", step_fields(step) + ",\"ok\":false,\"error\":" + json_string(detail_));
      return false;
    }
    std::optional<int> code;
    if (!pass_time_until(INT64_MAX, [&] { return (code = hooks_.shell_ended()).has_value(); })) return false;
    detail_ = "exit code " + std::to_string(*code);
    emit("run", step_fields(step) + ",\"exit\":" + std::to_string(*code) + ",\"ok\":" + (*code ? "false" : "true"));
    return *code == 0;
  }

  // Looks at the screen every kWindowPollNs until done() holds or the time is up.
  template <typename Done>
  bool watch_screen(int64_t until_ns, Done done) {
    int64_t next = 0;
    return pass_time_until(until_ns, [&] {
      const int64_t now = clock_.now_ns();
      if (now < next) return false;
      next = now + kWindowPollNs;
      return done();
    });
  }

  void emit_window_step(const char* event, const Step& step, bool ok, const std::string& error) {
    if (!ok) detail_ = error;
    emit(event, step_fields(step) + ",\"ok\":" + (ok ? "true" : "false") +
                    (ok ? "" : ",\"error\":" + json_string(error)));
  }

  bool window_step(const Step& step) {
    const std::string& title = step.window.title;
    std::string error = "no screen to look at";
    Screen::Window found = 0;
    bool looked = false;
    const int64_t until = clock_.now_ns() + static_cast<int64_t>(step.window.seconds * sim::kNanosPerSecond);
    if (hooks_.screen) {
      hooks_.screen->answer_within(until - clock_.now_ns());
      watch_screen(until, [&] { return !(looked = hooks_.screen->find(title, &found, &error)) || found; });
      if (cancelled_ || breached_) return false;
      if (looked && !found) error = "no window \"" + title + "\" within " + fixed(step.window.seconds, 1) + " s";
    }
    emit_window_step("window", step, found != 0, error);
    return found != 0;
  }

  // Raises the window, waits for it to come on top at the point and stay there, then
  // clicks there.
  bool click_step(const Step& step) {
    std::string error;
    const bool ok = click(step.window, &error);
    if (!ok && (cancelled_ || breached_)) return false;
    emit_window_step("click", step, ok, error);
    return ok;
  }

  bool click(const WindowStep& c, std::string* error) {
    Screen* screen = hooks_.screen;
    Screen::Window w = 0;
    int width = 0, height = 0;
    const std::string where = std::to_string(c.x) + "," + std::to_string(c.y);
    if (!screen) {
      *error = "no screen to click on";
      return false;
    }
    screen->answer_within(kRaiseLimitNs);
    if (!screen->find(c.title, &w, error)) return false;
    if (!w) {
      *error = "no window \"" + c.title + "\" (a window step waits for one)";
      return false;
    }
    if (!screen->raise(w, &width, &height, error)) return false;
    if (c.x >= width || c.y >= height) {
      *error = where + " is outside \"" + c.title + "\", whose client area is " + std::to_string(width) + "x" +
               std::to_string(height);
      return false;
    }
    int64_t reached_since = -1;
    const auto settled = [&] {
      if (!screen->reaches(w, c.x, c.y)) {
        reached_since = -1;
        return false;
      }
      if (reached_since < 0) reached_since = clock_.now_ns();
      return clock_.now_ns() - reached_since >= kSettleNs;
    };
    if (!watch_screen(clock_.now_ns() + kRaiseLimitNs, settled)) {
      *error = "\"" + c.title + "\" stays covered at " + where + " or takes no input";
      return false;
    }
    return screen->click(w, c.x, c.y, error);
  }

  bool cancelled() {
    if (!cancelled_ && hooks_.cancelled && hooks_.cancelled()) {
      cancelled_ = true;
      emit("interrupted", "");
    }
    return cancelled_;
  }

  bool perform(const Step& step) {
    if (cancelled() || breached_) return false;
    line_ = step.line;
    switch (step.kind) {
      case StepKind::wait:
        emit("step", step_fields(step));
        pass_time(step.seconds);
        return !cancelled_;
      case StepKind::press:
      case StepKind::release:
        hold(step.number, step.kind == StepKind::press);
        emit("step", step_fields(step));
        return true;
      case StepKind::tap:
        hold(step.number, true);
        emit("step", step_fields(step));
        pass_time(step.seconds);
        hold(step.number, false);
        return !cancelled_;
      case StepKind::analog: {
        const int64_t now = clock_.now_ns();
        board_.with([&](sim::BoardState& s) {
          sim::board_advance(s, now);
          sim::board_set_analog(s, step.number, static_cast<uint8_t>(step.value));
        });
        emit("step", step_fields(step));
        return true;
      }
      case StepKind::expect_outputs:
      case StepKind::expect_motor:
      case StepKind::expect_floor:
        return expect(step);
      case StepKind::run:
        return run_shell(step);
      case StepKind::window:
        return window_step(step);
      case StepKind::click:
        return click_step(step);
      case StepKind::fault: {
        const int64_t now = clock_.now_ns();
        const auto active = board_.with([&](sim::BoardState& s) {
          sim::board_advance(s, now);
          apply_fault_step(s, step.fault);
          return sim::active_faults(s);
        });
        std::string list;
        for (const auto& f : active) list += (list.empty() ? "" : ",") + json_string(f);
        emit("fault", step_fields(step) + ",\"faults\":[" + list + "]");
        return true;
      }
    }
    return false;
  }

  sim::SharedBoard& board_;
  Clock& clock_;
  std::ostream& out_;
  const RunHooks& hooks_;
  const int64_t t0_;
  sim::BoardState state_{};
  bool moving_ = false;
  int floor_ = 0;
  int64_t last_sample_ = 0;
  bool command_reported_ = false;
  bool cancelled_ = false;
  std::function<bool(uint8_t)> watch_;
  bool matched_ = false;
  std::vector<Observer*> followers_;
  History history_;
  bool started_ = false;    // looked at the board once
  int line_ = 0;            // the step being performed
  bool breached_ = false;   // a strict run saw a breach
  std::string detail_;      // what the last failed step found
  std::string why_;         // why the script failed, in one line
};

}  // namespace

namespace {

enum class LineRead { line, end, too_long };

// One line without its newline, at most kMaxScriptLine bytes; *total counts every byte.
LineRead read_line(std::istream& in, std::string* line, std::size_t* total) {
  line->clear();
  std::streambuf* buf = in.rdbuf();
  for (;;) {
    const int c = buf->sbumpc();
    if (c == std::char_traits<char>::eof()) return line->empty() ? LineRead::end : LineRead::line;
    ++*total;
    if (c == '\n') return LineRead::line;
    if (line->size() == kMaxScriptLine) return LineRead::too_long;
    line->push_back(static_cast<char>(c));
  }
}

}  // namespace

bool parse_script(std::istream& in, std::vector<Step>* steps, std::string* error) {
  steps->clear();
  std::string line;
  std::size_t total = 0;
  for (int number = 1;; ++number) {
    const LineRead r = read_line(in, &line, &total);
    if (total > kMaxScriptBytes) {
      *error = "longer than " + std::to_string(kMaxScriptBytes) + " bytes; a script may not be";
      return false;
    }
    if (r == LineRead::too_long) {
      *error = "line " + std::to_string(number) + ": longer than " + std::to_string(kMaxScriptLine) +
               " bytes; a line may not be";
      return false;
    }
    if (r == LineRead::end) return true;
    const std::string t = trim(line);
    if (t.empty() || t[0] == '#') continue;
    Step step{};
    step.line = number;
    std::string problem;
    if (!parse_step(t, &step, &problem)) {
      *error = "line " + std::to_string(number) + ": " + problem;
      return false;
    }
    steps->push_back(step);
  }
}

namespace {

std::string read_failure() { return std::string("cannot read the script: ") + std::strerror(errno); }

#ifdef _WIN32
bool read_whole(const std::string& path, std::string* text, std::string* error) {
  struct stat st{};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    *error = "is a directory, not a script";
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = read_failure();
    return false;
  }
  try {
    std::ostringstream all;
    all << file.rdbuf();
    *text = all.str();
  } catch (const std::exception& e) {
    *error = std::string("cannot read the script: ") + e.what();
    return false;
  }
  return true;
}
#else
// Opened without waiting (a FIFO nobody writes would hold placasim in open), then
// read if it is a file, a pipe (standard input, <(...)) or a terminal; a device
// such as /dev/zero is no script.
bool read_whole(const std::string& path, std::string* text, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = read_failure();
    return false;
  }
  struct stat st{};
  bool ok = fstat(fd, &st) == 0;
  if (!ok) {
    *error = read_failure();
  } else if (S_ISDIR(st.st_mode)) {
    *error = "is a directory, not a script";
    ok = false;
  } else if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode) && !isatty(fd)) {
    *error = "is a device, not a script (a file, a pipe or a terminal)";
    ok = false;
  } else if (!S_ISREG(st.st_mode)) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);  // what is written to it is waited for
  }
  char chunk[65536];
  while (ok && text->size() <= kMaxScriptBytes) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = read_failure();
      ok = false;
    }
    if (n <= 0) break;
    text->append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  return ok;
}
#endif

}  // namespace

bool read_script_file(const std::string& path, std::vector<Step>* steps, std::string* error) {
  std::string text;
  if (!read_whole(path, &text, error)) return false;
  std::istringstream in(text);
  return parse_script(in, steps, error);
}

int64_t RealClock::now_ns() { return sim::monotonic_ns(); }

void RealClock::sleep_ns(int64_t ns) {
  if (ns <= 0) return;
  timespec ts{static_cast<time_t>(ns / sim::kNanosPerSecond), static_cast<long>(ns % sim::kNanosPerSecond)};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

int run_script(const std::vector<Step>& steps, sim::SharedBoard& board, Clock& clock, std::ostream& out,
               const RunHooks& hooks) {
  Runner runner(board, clock, out, hooks);
  return runner.run(steps);
}

namespace {

// Length of the well-formed UTF-8 sequence at s[i] (1 to 4), or 0 when it is not one.
std::size_t utf8_length(const std::string& s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
  const unsigned c = byte(i);
  if (c < 0x80) return 1;
  std::size_t n;
  unsigned lo = 0x80, hi = 0xBF;  // range of the second byte, narrowed against overlongs and surrogates
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return n;
}

}  // namespace

std::string json_string(const std::string& s) {
  std::string r = "\"";
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = utf8_length(s, i);
    if (n == 0) {
      r += "\\ufffd";
      ++i;
      continue;
    }
    if (n > 1) {
      r.append(s, i, n);
      i += n;
      continue;
    }
    ++i;
    switch (c) {
      case '"': r += "\\\""; break;
      case '\\': r += "\\\\"; break;
      case '\n': r += "\\n"; break;
      case '\t': r += "\\t"; break;
      case '\r': r += "\\r"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          r += buf;
        } else {
          r += static_cast<char>(c);
        }
    }
  }
  return r + "\"";
}

}  // namespace placasim
