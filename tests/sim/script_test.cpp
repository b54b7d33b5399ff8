// Scripts: parsing, and running them on a board against a fake clock, with a small
// controller standing in for the lift program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <sstream>

#include "options.h"
#include "script.h"

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

  // The lift program in miniature: a call starts the cabin, its floor's sensor stops it.
  void controller() {
    clock.on_sleep = [this](int64_t now) {
      board->with([&](sim::BoardState& s) {
        sim::board_advance(s, now);
        const uint8_t in = sim::board_inputs(s);
        if (in & 0x07) target = (in & 1) ? 1 : (in & 2) ? 2 : 3;
        uint8_t motor = 0;
        if (target && !sim::floor_sensor_active(s.position, target)) motor = s.position < target ? 2 : 1;
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

}  // namespace
