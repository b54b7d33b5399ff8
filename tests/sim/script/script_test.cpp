// Scripts: parsing, and running them on a board against a fake clock, with a small
// controller standing in for the lift program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <functional>
#include <random>
#include <sstream>

#include "options.h"
#include "script/script.h"

namespace {

using placasim::Step;
using placasim::StepKind;

constexpr int64_t kMs = 1000000;

std::vector<Step> parse(const std::string& text) {
  std::istringstream in(text);
  std::vector<Step> steps;
  std::string error;
  EXPECT_TRUE(placasim::parse_script(in, &steps, &error)) << error;
  return steps;
}

std::string parse_error(const std::string& text) {
  std::istringstream in(text);
  std::vector<Step> steps;
  std::string error;
  EXPECT_FALSE(placasim::parse_script(in, &steps, &error)) << text;
  return error;
}

TEST(ScriptParse, EveryStepWithItsArguments) {
  const auto s = parse(
      "# a lift trip\n"
      "\n"
      "  wait 1.5\n"
      "press 3   # call floor 3\n"
      "release 3\n"
      "tap 2\n"
      "tap 1 0.05\n"
      "switch 8 on\n"
      "switch 7 off\n"
      "analog 4 0xFF\n"
      "expect outputs 2 within 1\n"
      "expect motor 1 d\n"
      "expect floor 3 within 8.5\n"
      "run xdotool key 1 # kept for the shell\n");
  ASSERT_EQ(s.size(), 12u);
  EXPECT_EQ(s[0].kind, StepKind::wait);
  EXPECT_EQ(s[0].seconds, 1.5);
  EXPECT_EQ(s[0].line, 3);
  EXPECT_EQ(s[1].kind, StepKind::press);
  EXPECT_EQ(s[1].number, 3);
  EXPECT_EQ(s[1].text, "press 3");
  EXPECT_EQ(s[2].kind, StepKind::release);
  EXPECT_EQ(s[3].kind, StepKind::tap);
  EXPECT_GT(s[3].seconds, 0);
  EXPECT_EQ(s[4].seconds, 0.05);
  EXPECT_EQ(s[5].kind, StepKind::press);
  EXPECT_EQ(s[5].number, 8);
  EXPECT_EQ(s[6].kind, StepKind::release);
  EXPECT_EQ(s[6].number, 7);
  EXPECT_EQ(s[7].value, 255);
  EXPECT_EQ(s[8].kind, StepKind::expect_outputs);
  EXPECT_EQ(s[8].value, 2);
  EXPECT_EQ(s[8].seconds, 1);
  EXPECT_EQ(s[9].motor, 'D');
  EXPECT_EQ(s[9].seconds, 0) << "no limit: checked once";
  EXPECT_EQ(s[10].number, 3);
  EXPECT_EQ(s[11].kind, StepKind::run);
  EXPECT_EQ(s[11].command, "xdotool key 1 # kept for the shell");
}

TEST(ScriptParse, NumbersAreDecimalOrHexNeverOctal) {
  EXPECT_EQ(parse("expect outputs 010")[0].value, 10);
  EXPECT_EQ(parse("expect outputs 0x10")[0].value, 16);
}

TEST(ScriptParse, BadLinesAreRefusedWithTheirNumber) {
  EXPECT_EQ(parse_error("wait 1\nfly 3\n").rfind("line 2:", 0), 0u);
  for (const char* bad : {"press 0", "press 9", "press", "press 1 2", "press -1", "press x", "tap 1 -2",
                          "switch 6 on", "switch 7 up", "analog 5 1", "analog 1 256", "analog 1 -1",
                          "expect outputs 300", "expect motor 5 D", "expect motor 1 X", "expect floor 4",
                          "expect floor 2 within", "expect floor 2 by 3", "expect speed 3", "expect",
                          "wait nan", "wait inf", "wait -1", "wait 1e9", "run", "wait 0x10"})
    EXPECT_FALSE(parse_error(std::string(bad) + "\n").empty()) << bad;
}

TEST(ScriptParse, EveryBlankMakesABlankLine) {
  // Vertical tabs and form feeds were words to nobody: the line crashed the parser.
  const auto s = parse("\v\n\f\n\v # a comment\n \f\t\v\r\n\vwait\f1\v\n");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].kind, StepKind::wait);
  EXPECT_EQ(s[0].line, 5);
}

TEST(ScriptParse, WindowStepsTakeAQuotedOrOneWordTitle) {
  const auto s = parse(
      "window Ascensor\n"
      "window \"Con Memoria\" within 2.5  # the mode's window\n"
      "click \"Con Memoria\" 85 50\n"
      "click\tAscensor 0x10 0 # top-left\n"
      "window \"Floor #2\"\n"
      "click \"Floor #2\" 1 2 # a comment after\n");
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[0].kind, StepKind::window);
  EXPECT_EQ(s[0].window.title, "Ascensor");
  EXPECT_EQ(s[0].window.seconds, placasim::kDefaultWindowSeconds);
  EXPECT_EQ(s[1].window.title, "Con Memoria");
  EXPECT_EQ(s[1].window.seconds, 2.5);
  EXPECT_EQ(s[1].text, "window \"Con Memoria\" within 2.5");
  EXPECT_EQ(s[2].kind, StepKind::click);
  EXPECT_EQ(s[2].window.title, "Con Memoria");
  EXPECT_EQ(s[2].window.x, 85);
  EXPECT_EQ(s[2].window.y, 50);
  EXPECT_EQ(s[3].window.title, "Ascensor");
  EXPECT_EQ(s[3].window.x, 16);
  EXPECT_EQ(s[3].line, 4);
  EXPECT_EQ(s[4].window.title, "Floor #2") << "a quoted title keeps its #";
  EXPECT_EQ(s[5].window.y, 2);
  EXPECT_EQ(s[5].text, "click \"Floor #2\" 1 2");
}

TEST(ScriptParse, BadWindowStepsAreRefusedWithTheirNumber) {
  EXPECT_EQ(parse_error("wait 1\nclick Ascensor -1 5\n").rfind("line 2:", 0), 0u);
  EXPECT_NE(parse_error("window\n").find("no title"), std::string::npos);
  EXPECT_NE(parse_error("click \"Con Memoria 85 50\n").find("closing quote"), std::string::npos);
  for (const char* bad : {"window", "window \"\"", "window # none", "window A within", "window A within -1",
                          "window A by 3", "window \"A\"B", "click", "click A", "click A 1", "click A 1 2 3",
                          "click A x 2", "click A 1 -2", "click A 1.5 2", "click A 40000 2",
                          "click \"Con Memoria\"", "click Con Memoria 85 50", "click \"\" 1 2"})
    EXPECT_FALSE(parse_error(std::string(bad) + "\n").empty()) << bad;
  EXPECT_NE(parse_error("windows 1\n").find("unknown step"), std::string::npos) << "a verb of its own";
}

TEST(ScriptParse, LinesAndScriptsHaveALimit) {
  EXPECT_TRUE(parse_error("wait 1\n" + std::string(placasim::kMaxScriptLine + 1, '#') + "\n").rfind(
                  "line 2: longer than", 0) == 0);
  std::vector<Step> steps;
  std::string error;
  std::istringstream longest("# " + std::string(placasim::kMaxScriptLine - 2, 'x') + "\nwait 1\n");
  EXPECT_TRUE(placasim::parse_script(longest, &steps, &error)) << error;
  std::string many;
  while (many.size() <= placasim::kMaxScriptBytes) many += "wait 0\n";
  EXPECT_NE(parse_error(many).find("longer than"), std::string::npos);
}

TEST(ScriptParse, FaultStepsWithTheirArguments) {
  const auto s = parse(
      "fault stuck 5 off\n"
      "fault stuck 0x8 on\n"
      "fault chatter 2 0.5\n"
      "fault stall\n"
      "fault slip 0.25\n"
      "fault noise 3 12\n"
      "clear stuck 5\n"
      "clear chatter 2\n"
      "clear motor\n"
      "clear noise 3\n"
      "clear all\n");
  ASSERT_EQ(s.size(), 11u);
  using F = placasim::FaultStep;
  EXPECT_EQ(s[0].kind, StepKind::fault);
  EXPECT_EQ(s[0].fault.what, F::stuck);
  EXPECT_EQ(s[0].fault.number, 5);
  EXPECT_FALSE(s[0].fault.on);
  EXPECT_TRUE(s[1].fault.on);
  EXPECT_EQ(s[1].fault.number, 8);
  EXPECT_EQ(s[2].fault.what, F::chatter);
  EXPECT_EQ(s[2].fault.amount, 0.5);
  EXPECT_EQ(s[3].fault.what, F::stall);
  EXPECT_EQ(s[4].fault.amount, 0.25);
  EXPECT_EQ(s[5].fault.what, F::noise);
  EXPECT_EQ(s[5].fault.amount, 12);
  EXPECT_FALSE(s[6].fault.set);
  EXPECT_EQ(s[8].fault.what, F::motor);
  EXPECT_EQ(s[10].fault.what, F::all);
}

TEST(ScriptParse, BadFaultsAreRefusedWithTheirLineNumber) {
  EXPECT_EQ(parse_error("wait 1\nfault stuck 9 on\n").rfind("line 2:", 0), 0u);
  EXPECT_NE(parse_error("fault melt\n").find("unknown fault \"melt\""), std::string::npos);
  for (const char* bad : {"fault", "clear", "fault stuck 0 on", "fault stuck 3", "fault stuck 3 maybe",
                          "fault chatter 4 1", "fault chatter 2", "fault chatter 2 0", "fault chatter 2 -1",
                          "fault chatter 2 11", "fault chatter 2 nan", "fault stall 1", "fault slip",
                          "fault slip 0", "fault slip 1", "fault slip 1.5", "fault noise 5 3", "fault noise 1 0",
                          "fault noise 1 256", "clear stuck", "clear stuck 1 on", "clear stall", "clear all now",
                          "fault all", "clear noise 9"})
    EXPECT_FALSE(parse_error(std::string(bad) + "\n").empty()) << bad;
}

class FakeClock : public placasim::Clock {
 public:
  int64_t now_ns() override { return now; }
  void sleep_ns(int64_t ns) override {
    now += ns;
    if (on_sleep) on_sleep(now);
  }
  int64_t now = 1000 * kMs;
  std::function<void(int64_t)> on_sleep;
};

class ScriptRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    board = sim::SharedBoard::open(name, &error);
    ASSERT_NE(board, nullptr) << error;
    board->with([&](sim::BoardState& s) { sim::board_reset(s, clock.now); });
  }
  void TearDown() override { sim::SharedBoard::remove(name); }

  // The lift program in miniature: a call starts the cabin, its floor's sensor (input
  // 3 + floor) stops it.
  void controller() {
    clock.on_sleep = [this](int64_t now) {
      board->with([&](sim::BoardState& s) {
        sim::board_advance(s, now);
        const uint8_t in = sim::board_inputs(s);
        if (in & 0x07) target = (in & 1) ? 1 : (in & 2) ? 2 : 3;
        uint8_t motor = 0;
        if (target && !(in & (0x04 << target))) motor = s.position < target ? 2 : 1;
        if (target && motor == 0) target = 0;
        sim::board_write(s, sim::kControlPort, sim::kControlOutputs, now);
        sim::board_write(s, sim::kDataPort, motor, now);
      });
    };
  }

  int run(const std::string& text, placasim::RunHooks hooks = {}) {
    trace.str("");
    return placasim::run_script(parse(text), *board, clock, trace, hooks);
  }
  std::vector<std::string> lines_with(const std::string& what) {
    std::vector<std::string> found;
    std::istringstream in(trace.str());
    for (std::string l; std::getline(in, l);)
      if (l.find(what) != std::string::npos) found.push_back(l);
    return found;
  }
  double time_of(const std::string& line) { return std::stod(line.substr(5)); }

  std::string name = "placasim-test-script-" + std::to_string(getpid());
  std::unique_ptr<sim::SharedBoard> board;
  FakeClock clock;
  std::ostringstream trace;
  int target = 0;
};

TEST_F(ScriptRun, ATripTracedFromCallToArrival) {
  controller();
  EXPECT_EQ(run("tap 3 0.1\n"
                "expect motor 1 D within 0.5\n"
                "expect floor 3 within 6\n"
                "expect outputs 0 within 0.5\n"),
            placasim::kScriptPassed)
      << trace.str();
  const auto outputs = lines_with("\"event\":\"outputs\"");
  ASSERT_EQ(outputs.size(), 2u) << trace.str();
  EXPECT_NE(outputs[0].find("\"outputs\":2,\"motors\":\"DPPP\",\"position\":1.000"), std::string::npos);
  EXPECT_NE(outputs[1].find("\"outputs\":0"), std::string::npos);
  const double travel = time_of(outputs[1]) - time_of(outputs[0]);
  // The floor-3 sensor stops it a band short of the floor.
  EXPECT_NEAR(travel, (2 - sim::kSensorHalfBand) * sim::kSecondsPerFloor, 0.01);
  const auto cabin = lines_with("\"event\":\"cabin\"");
  EXPECT_GE(cabin.size(), 40u) << "sampled every 100 ms on the way";
  EXPECT_FALSE(lines_with("\"floor\":2,\"moving\":true").empty()) << "passing floor 2";
  EXPECT_NE(cabin.back().find("\"floor\":3,\"moving\":false"), std::string::npos);
  EXPECT_NE(trace.str().rfind("{\"t\":"), std::string::npos);
  EXPECT_FALSE(lines_with("\"event\":\"end\",\"ok\":true").empty());
}

TEST_F(ScriptRun, FailedExpectationStopsTheScriptAndSaysWhatWasFound) {
  controller();
  EXPECT_EQ(run("tap 3 0.1\n"
                "expect floor 3 within 1\n"
                "press 1\n"),
            placasim::kScriptFailed);
  const auto failed = lines_with("\"ok\":false");
  ASSERT_EQ(failed.size(), 2u) << trace.str();
  EXPECT_NE(failed[0].find("\"line\":2"), std::string::npos);
  EXPECT_NE(failed[0].find("\"found\":\"outputs 2 (motors DPPP), cabin at 1.4"), std::string::npos) << failed[0];
  EXPECT_TRUE(lines_with("press 1").empty()) << "nothing runs after a failure";
  EXPECT_NEAR(time_of(failed[0]), 1.1, 0.005) << "gives up at its time limit";
}

TEST_F(ScriptRun, AStuckFloorSensorMakesTheLiftMissItsFloorAndIsTraced) {
  controller();
  EXPECT_EQ(run("fault stuck 5 off\n"
                "tap 2 0.1\n"
                "expect floor 2 within 6\n"),
            placasim::kScriptFailed);
  const auto faults = lines_with("\"event\":\"fault\"");
  ASSERT_EQ(faults.size(), 1u) << trace.str();
  EXPECT_NE(faults[0].find("\"line\":1,\"step\":\"fault stuck 5 off\",\"faults\":[\"input 5 stuck off\"]"),
            std::string::npos)
      << faults[0];
  EXPECT_FALSE(lines_with("\"line\":3,\"step\":\"expect floor 2 within 6\",\"ok\":false").empty()) << trace.str();
  EXPECT_EQ(run("clear all\ntap 1 0.1\nexpect floor 1 within 6\n"), placasim::kScriptPassed) << trace.str();
  EXPECT_FALSE(lines_with("\"step\":\"clear all\",\"faults\":[]").empty()) << trace.str();
}

// A program that writes both lift outputs at 0.5 s, then the right byte again.
class BadProgram : public ScriptRun {
 protected:
  void SetUp() override {
    ScriptRun::SetUp();
    clock.on_sleep = [this](int64_t now) {
      board->with([&](sim::BoardState& s) {
        sim::board_write(s, sim::kControlPort, sim::kControlOutputs, now);
        sim::board_write(s, sim::kDataPort, now - start >= 500 * kMs && now - start < 600 * kMs ? 3 : 0, now);
      });
    };
  }
  int run_checked(bool strict) {
    placasim::Checks checks;
    placasim::RunHooks hooks;
    hooks.checks = &checks;
    hooks.strict = strict;
    hooks.failure = &failure;
    return run("wait 0.2\nwait 1\nexpect outputs 0\n", hooks);
  }
  int64_t start = clock.now;
  std::string failure;
};

TEST_F(BadProgram, ABreachIsTracedOnceWithItsLineAndSummedUpAtTheEnd) {
  EXPECT_EQ(run_checked(false), placasim::kScriptPassed) << "reported, not failed";
  EXPECT_EQ(failure, "");
  const auto v = lines_with("\"event\":\"violation\"");
  ASSERT_EQ(v.size(), 1u) << trace.str();
  EXPECT_NE(v[0].find("\"rule\":\"both_directions\",\"detail\":\"outputs 1 and 2 on together\",\"line\":2"),
            std::string::npos)
      << v[0];
  EXPECT_NEAR(time_of(v[0]), 0.5, 0.003);
  const auto summary = lines_with("\"event\":\"summary\"");
  ASSERT_EQ(summary.size(), 1u);
  EXPECT_NE(summary[0].find("\"both_directions\":1,\"end_stop\":0"), std::string::npos) << summary[0];
  EXPECT_NE(summary[0].find("\"needless_writes\":"), std::string::npos);
}

TEST_F(BadProgram, StrictRunEndsAtTheBreach) {
  EXPECT_EQ(run_checked(true), placasim::kScriptFailed);
  EXPECT_TRUE(lines_with("expect outputs 0").empty()) << "nothing runs after the breach";
  EXPECT_FALSE(lines_with("\"event\":\"end\",\"ok\":false").empty()) << trace.str();
  EXPECT_LT(time_of(lines_with("\"event\":\"end\"")[0]), 0.51);
  EXPECT_EQ(failure, "rule both_directions broken at line 2: outputs 1 and 2 on together");
}

TEST_F(ScriptRun, AnOutputPulseBetweenTwoLooksStillMeetsTheExpectation) {
  int sleeps = 0;
  clock.on_sleep = [&](int64_t now) {
    if (++sleeps != 10) return;
    board->with([&](sim::BoardState& s) {
      sim::board_write(s, sim::kControlPort, sim::kControlOutputs, now);
      sim::board_write(s, sim::kDataPort, 0x30, now);
      sim::board_write(s, sim::kDataPort, 0x00, now);
    });
  };
  EXPECT_EQ(run("expect outputs 0x30 within 1\nexpect motor 3 D\n"), placasim::kScriptFailed) << trace.str();
  EXPECT_FALSE(lines_with("\"step\":\"expect outputs 0x30 within 1\",\"ok\":true").empty()) << trace.str();
  EXPECT_EQ(lines_with("\"event\":\"outputs\"").size(), 2u);
}

TEST_F(ScriptRun, MoreChangesThanTheHistoryAreReportedAsMissed) {
  int sleeps = 0;
  clock.on_sleep = [&](int64_t now) {
    if (++sleeps != 3) return;
    board->with([&](sim::BoardState& s) {
      sim::board_write(s, sim::kControlPort, sim::kControlOutputs, now);
      for (int i = 0; i < sim::kChangeHistory + 10; ++i)
        sim::board_write(s, sim::kDataPort, static_cast<uint8_t>(i % 2 + 0x40), now);
    });
  };
  EXPECT_EQ(run("wait 0.05\n"), placasim::kScriptPassed);
  const auto missed = lines_with("\"event\":\"missed\"");
  ASSERT_EQ(missed.size(), 1u) << trace.str();
  EXPECT_NE(missed[0].find("\"changes\":10"), std::string::npos) << missed[0];
  EXPECT_EQ(lines_with("\"event\":\"outputs\"").size(), static_cast<std::size_t>(sim::kChangeHistory));
}

// A script joined to a board that another run powers on afresh: the trace says so, no
// change is missed or made up, and the summary counts the writes of each run seen.
TEST_F(ScriptRun, APowerOnByAnotherRunIsTracedAndCountedFromZero) {
  int sleeps = 0;
  auto write = [&](sim::BoardState& s, uint8_t v, int64_t now) {
    sim::board_write(s, sim::kControlPort, sim::kControlOutputs, now);
    sim::board_write(s, sim::kDataPort, v, now);
  };
  clock.on_sleep = [&](int64_t now) {
    ++sleeps;
    board->with([&](sim::BoardState& s) {
      if (sleeps == 2) write(s, sim::kOutputTowardTop, now), write(s, sim::kOutputTowardTop, now);
      if (sleeps == 5) {
        sim::board_reset(s, now);
        write(s, sim::kOutputTowardFirst, now);  // no reversal: another run's
      }
    });
  };
  placasim::Checks checks;
  placasim::RunHooks hooks;
  hooks.checks = &checks;
  EXPECT_EQ(run("wait 0.05\n", hooks), placasim::kScriptPassed);
  EXPECT_EQ(lines_with("\"event\":\"power_on\"").size(), 1u) << trace.str();
  EXPECT_TRUE(lines_with("\"event\":\"missed\"").empty()) << trace.str();
  EXPECT_EQ(lines_with("\"event\":\"outputs\"").size(), 2u);
  const auto summary = lines_with("\"event\":\"summary\"");
  ASSERT_EQ(summary.size(), 1u);
  EXPECT_NE(summary[0].find("\"reversal\":0"), std::string::npos) << summary[0];
  EXPECT_NE(summary[0].find("\"motor_writes\":3,\"needless_writes\":1"), std::string::npos) << summary[0];
}

TEST_F(ScriptRun, InputsAndAnalogValuesReachTheBoard) {
  EXPECT_EQ(run("press 8\nanalog 2 130\nswitch 7 on\npress 2\nrelease 2\n"), placasim::kScriptPassed);
  const auto s = board->with([](sim::BoardState& st) { return st; });
  EXPECT_EQ(s.held_inputs, 0xC0);
  EXPECT_EQ(s.analog[1], 130);
}

TEST_F(ScriptRun, TapHoldsTheInputForItsTime) {
  int64_t held_ns = 0;
  clock.on_sleep = [&](int64_t) {
    if (board->with([](sim::BoardState& s) { return s.held_inputs; }) & 0x04) held_ns += 2 * kMs;
  };
  EXPECT_EQ(run("tap 3 0.2\nwait 0.2\n"), placasim::kScriptPassed);
  EXPECT_NEAR(static_cast<double>(held_ns), 200.0 * kMs, 4.0 * kMs);
}

TEST_F(ScriptRun, RunStepFailsTheScriptOnANonZeroExit) {
  int polls = 0;
  placasim::RunHooks hooks;
  std::string started;
  hooks.start_shell = [&](const std::string& c, std::string*) {
    started = c;
    polls = 0;
    return true;
  };
  hooks.shell_ended = [&]() -> std::optional<int> {
    if (++polls < 5) return std::nullopt;
    return started == "true" ? 0 : 3;
  };
  EXPECT_EQ(run("run true\n", hooks), placasim::kScriptPassed);
  EXPECT_EQ(run("run false\nwait 1\n", hooks), placasim::kScriptFailed);
  EXPECT_FALSE(lines_with("\"exit\":3,\"ok\":false").empty()) << trace.str();
  EXPECT_TRUE(lines_with("wait 1").empty());
  EXPECT_EQ(run("run true\n"), placasim::kScriptFailed) << "no way to start a shell";
}

TEST_F(ScriptRun, TheWiredCommandEndingIsTraced) {
  int polls = 0;
  placasim::RunHooks hooks;
  hooks.command_ended = [&]() -> std::optional<int> {
    if (++polls < 20) return std::nullopt;
    return 7;
  };
  EXPECT_EQ(run("wait 0.2\n", hooks), placasim::kScriptPassed);
  EXPECT_EQ(lines_with("\"event\":\"command_exit\",\"code\":7").size(), 1u) << trace.str();
}

// A screen with one window, "Con Memoria" (id 7, 200x100), that shows after a while
// and comes on top some looks after it is raised.
class FakeScreen : public placasim::Screen {
 public:
  bool find(const std::string& title, Window* found, std::string* error) override {
    if (!reachable) {
      *error = "no display here";
      return false;
    }
    ++looks;
    *found = title == "Con Memoria" && looks > shows_after ? 7 : 0;
    return true;
  }
  bool raise(Window w, int* width, int* height, std::string*) override {
    raised.push_back(w);
    *width = 200;
    *height = 100;
    looks_on_top = 0;
    return true;
  }
  bool reaches(Window, int, int) override { return ++looks_on_top > covered_for; }
  bool click(Window w, int x, int y, std::string*) override {
    clicks.push_back({static_cast<int>(w), x, y, static_cast<int>(looks_on_top)});
    return true;
  }
  bool reachable = true;
  int looks = 0, shows_after = 0, looks_on_top = 0, covered_for = 0;
  std::vector<Window> raised;
  std::vector<std::array<int, 4>> clicks;  // window, x, y, looks it took to come on top
};

TEST_F(ScriptRun, WindowStepWaitsForTheWindowUpToItsLimit) {
  FakeScreen screen;
  screen.shows_after = 10;
  placasim::RunHooks hooks;
  hooks.screen = &screen;
  const int64_t start = clock.now;
  EXPECT_EQ(run("window \"Con Memoria\" within 5\n", hooks), placasim::kScriptPassed) << trace.str();
  EXPECT_GT(clock.now - start, 100 * kMs) << "ten looks apart";
  EXPECT_LT(clock.now - start, 1000 * kMs) << "not the whole limit";
  EXPECT_EQ(lines_with("\"event\":\"window\",\"line\":1,\"step\":\"window \\\"Con Memoria\\\" within 5\",\"ok\":true")
                .size(), 1u) << trace.str();

  screen.looks = 0;
  screen.shows_after = 1000000;
  const int64_t again = clock.now;
  EXPECT_EQ(run("wait 0.1\nwindow \"Con Memoria\" within 2\nwait 1\n", hooks), placasim::kScriptFailed);
  EXPECT_NEAR(static_cast<double>(clock.now - again) / kMs, 2100, 50) << "the limit, then no further step";
  const auto failed = lines_with("\"event\":\"window\"");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find("\"line\":2"), std::string::npos);
  EXPECT_NE(failed[0].find("\"ok\":false,\"error\":\"no window \\\"Con Memoria\\\" within 2.0 s\""), std::string::npos)
      << failed[0];
  EXPECT_TRUE(lines_with("wait 1").empty());
}

TEST_F(ScriptRun, ClickRaisesTheWindowAndClicksOnceItIsOnTop) {
  FakeScreen screen;
  screen.covered_for = 5;
  placasim::RunHooks hooks;
  hooks.screen = &screen;
  EXPECT_EQ(run("click \"Con Memoria\" 85 50\n", hooks), placasim::kScriptPassed) << trace.str();
  ASSERT_EQ(screen.raised.size(), 1u);
  EXPECT_EQ(screen.raised[0], 7u);
  ASSERT_EQ(screen.clicks.size(), 1u);
  // On top from the 6th look (20 ms apart), then on top for 300 ms more: a window
  // that has only just come up can drop a click.
  EXPECT_EQ(screen.clicks[0], (std::array<int, 4>{7, 85, 50, 6 + 15})) << "clicked where asked, once settled on top";
  EXPECT_EQ(lines_with("\"event\":\"click\",\"line\":1,\"step\":\"click \\\"Con Memoria\\\" 85 50\",\"ok\":true").size(),
            1u) << trace.str();
}

TEST_F(ScriptRun, ClickFailsWithoutTheWindowOutsideItOrWhileItStaysCovered) {
  FakeScreen screen;
  placasim::RunHooks hooks;
  hooks.screen = &screen;
  const auto error_of_click = [&](const std::string& script) {
    EXPECT_EQ(run(script + "\nwait 1\n", hooks), placasim::kScriptFailed) << script;
    EXPECT_TRUE(lines_with("wait 1").empty()) << "the script ends at the click";
    const auto l = lines_with("\"event\":\"click\"");
    return l.size() == 1 && l[0].find("\"ok\":false") != std::string::npos ? l[0] : "no failed click: " + trace.str();
  };
  EXPECT_NE(error_of_click("click Ascensor 1 1").find("no window \\\"Ascensor\\\""), std::string::npos);
  EXPECT_NE(error_of_click("click \"Con Memoria\" 200 50").find("200,50 is outside"), std::string::npos);
  EXPECT_NE(error_of_click("click \"Con Memoria\" 5 100").find("200x100"), std::string::npos);
  screen.covered_for = 1000000;
  const int64_t start = clock.now;
  EXPECT_NE(error_of_click("click \"Con Memoria\" 5 5").find("stays covered at 5,5"), std::string::npos);
  EXPECT_GE(clock.now - start, 4000 * kMs) << "it is given time to come on top";
  EXPECT_TRUE(screen.clicks.empty());
}

TEST_F(ScriptRun, WindowStepsWithoutAScreenFailAndSayWhy) {
  FakeScreen screen;
  screen.reachable = false;
  placasim::RunHooks hooks;
  hooks.screen = &screen;
  EXPECT_EQ(run("window \"Con Memoria\"\n", hooks), placasim::kScriptFailed);
  EXPECT_EQ(lines_with("\"ok\":false,\"error\":\"no display here\"").size(), 1u) << trace.str();
  EXPECT_EQ(run("click \"Con Memoria\" 1 1\n", hooks), placasim::kScriptFailed);
  EXPECT_EQ(lines_with("\"ok\":false,\"error\":\"no display here\"").size(), 1u) << trace.str();
  EXPECT_EQ(run("window A\n"), placasim::kScriptFailed) << "no screen given";
  EXPECT_EQ(lines_with("\"ok\":false,\"error\":\"no screen").size(), 1u) << trace.str();
}

TEST(Json, StringsAreEscaped) {
  EXPECT_EQ(placasim::json_string("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
}

TEST(Json, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  using placasim::json_string;
  EXPECT_EQ(json_string("\xc3\xa9 \xe2\x82\xac \xf0\x9f\x9b\x97"), "\"\xc3\xa9 \xe2\x82\xac \xf0\x9f\x9b\x97\"");
  EXPECT_EQ(json_string("a\xff" "b"), "\"a\\ufffdb\"");
  EXPECT_EQ(json_string("\xc3"), "\"\\ufffd\"") << "cut short at the end";
  EXPECT_EQ(json_string("\xc3("), "\"\\ufffd(\"") << "cut short by an ASCII byte";
  EXPECT_EQ(json_string("\xc0\x80"), "\"\\ufffd\\ufffd\"") << "overlong";
  EXPECT_EQ(json_string("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"") << "surrogate";
  EXPECT_EQ(json_string("\xf4\x90\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\"") << "above U+10FFFF";
}

TEST(Options, CommandAfterTheSeparator) {
  placasim::Options o;
  std::string error;
  const char* argv[] = {"placasim", "--board", "b1", "--", "elevmando", "--board", "x"};
  ASSERT_TRUE(placasim::parse_options(7, argv, &o, &error)) << error;
  EXPECT_EQ(o.board, "b1");
  EXPECT_EQ(o.command, (std::vector<std::string>{"elevmando", "--board", "x"}));
  EXPECT_TRUE(o.panel);
}

TEST(Options, MistakesAreRefused) {
  placasim::Options o;
  std::string error;
  const char* no_value[] = {"placasim", "--script"};
  EXPECT_FALSE(placasim::parse_options(2, no_value, &o, &error));
  const char* stray[] = {"placasim", "elevmando"};
  EXPECT_FALSE(placasim::parse_options(2, stray, &o, &error));
  EXPECT_NE(error.find("after --"), std::string::npos);
  const char* empty[] = {"placasim", "--"};
  EXPECT_FALSE(placasim::parse_options(2, empty, &o, &error));
  const char* trace_alone[] = {"placasim", "--trace", "t.jsonl"};
  EXPECT_FALSE(placasim::parse_options(3, trace_alone, &o, &error));
}

TEST(Options, CheckSettingsBelongToScripts) {
  placasim::Options o;
  std::string error;
  const char* good[] = {"placasim", "--script", "s", "--strict", "--needless-writes", "500"};
  ASSERT_TRUE(placasim::parse_options(6, good, &o, &error)) << error;
  EXPECT_TRUE(o.strict);
  EXPECT_EQ(o.needless_limit, 500);
  const char* strict_alone[] = {"placasim", "--strict"};
  EXPECT_FALSE(placasim::parse_options(2, strict_alone, &o, &error));
  EXPECT_EQ(error, "--strict needs --script");
  for (const char* rate : {"0", "-5", "1.5", "x", "2000000000"}) {
    const char* bad[] = {"placasim", "--script", "s", "--needless-writes", rate};
    EXPECT_FALSE(placasim::parse_options(5, bad, &o, &error)) << rate;
  }
}

// Bytes that form UTF-8 and no raw control characters: what a JSON line needs.
bool clean_json_line(const std::string& l) {
  if (l.size() < 2 || l.front() != '{' || l.back() != '}') return false;
  for (size_t i = 0; i < l.size();) {
    const auto c = static_cast<unsigned char>(l[i]);
    const int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (c < 0x20 || extra < 0 || i + extra >= l.size()) return false;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(l[i + k]) & 0xC0) != 0x80) return false;
    i += 1 + extra;
  }
  return true;
}

// Mutants of a script with every kind of step: each is refused with its line number
// or runs to its end, with a trace of clean JSON lines. A fixed seed keeps it repeatable.
TEST_F(ScriptRun, MutatedScriptsAreRefusedOrRunCleanly) {
  const std::string seed_script =
      "wait 0.01\npress 3\nrelease 3\ntap 2 0.02\nswitch 8 on\nanalog 4 0xFF\n"
      "fault stuck 5 on\nfault chatter 2 0.1\nfault noise 1 20\nclear all\nrun true\n"
      "window \"Con Memoria\" within 0.1\nclick \"Con Memoria\" 85 50\n"
      "expect outputs 0 within 0.1\nexpect motor 1 p within 0.1\nexpect floor 1 within 0.2\n";
  const std::vector<std::string> extremes = {"-1", "0", "9", "256", "1e308", "nan", "inf", "0x", "4294967297",
                                             "99999999999999999999", "\xff\xfe", "within", ""};
  std::mt19937 random(20261208);
  auto pick = [&](size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(random) : 0; };
  int64_t start = clock.now;
  placasim::RunHooks hooks;
  hooks.start_shell = [](const std::string&, std::string* error) {
    *error = "no shell here";
    return false;
  };
  hooks.cancelled = [&] { return clock.now - start > 60 * 1000 * kMs; };
  FakeScreen screen;
  hooks.screen = &screen;
  int parsed = 0;
  for (int mutant = 0; mutant < 400; ++mutant) {
    std::string text = seed_script;
    for (int op = 0, ops = 1 + static_cast<int>(pick(4)); op < ops; ++op) {
      const size_t at = pick(text.size());
      switch (pick(4)) {
        case 0: text[at] = static_cast<char>(pick(256)); break;
        case 1: text.insert(at, 1, static_cast<char>(pick(256))); break;
        case 2: text.erase(at, 1 + pick(8)); break;
        default: text.insert(at, " " + extremes[pick(extremes.size())] + " "); break;
      }
    }
    std::istringstream in(text);
    std::vector<Step> steps;
    std::string error;
    if (!placasim::parse_script(in, &steps, &error)) {
      EXPECT_EQ(error.rfind("line ", 0), 0u) << "mutant " << mutant << ": " << error;
    }
    // What still parses, line by line, is run: mutated values that pass reach the board.
    std::istringstream whole(text);
    std::string kept;
    for (std::string line; std::getline(whole, line);) {
      std::istringstream one(line);
      std::vector<Step> ignored;
      if (placasim::parse_script(one, &ignored, &error)) kept += line + "\n";
    }
    std::istringstream survivors(kept);
    steps.clear();
    ASSERT_TRUE(placasim::parse_script(survivors, &steps, &error)) << error;
    if (steps.empty()) continue;
    ++parsed;
    start = clock.now;
    board->with([&](sim::BoardState& s) { sim::board_reset(s, clock.now); });
    trace.str("");
    const int code = placasim::run_script(steps, *board, clock, trace, hooks);
    EXPECT_TRUE(code == placasim::kScriptPassed || code == placasim::kScriptFailed) << "mutant " << mutant;
    std::istringstream lines(trace.str());
    for (std::string l; std::getline(lines, l);) ASSERT_TRUE(clean_json_line(l)) << "mutant " << mutant << ": " << l;
  }
  EXPECT_GT(parsed, 300) << "too few mutants left steps to run";
}

}  // namespace
