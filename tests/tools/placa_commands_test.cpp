// placa's commands through the real library against the recording driver: the
// register traffic each one makes and what it prints.
#include <gtest/gtest.h>
#include <placaio.h>

#include <sstream>
#include <thread>

#include "placa_cli.h"
#include "recorder.h"

namespace {

using namespace std::chrono_literals;

struct Outcome {
  int code;
  std::string out, err;
};

// Status bytes of one conversion: low group after control 2, high group after 0.
constexpr uint8_t LowStatus(int count) { return static_cast<uint8_t>((count & 0xF) << 3); }
constexpr uint8_t HighStatus(int count) { return static_cast<uint8_t>((count >> 4) << 3); }
constexpr int32_t kAnalogLow = 2, kAnalogHigh = 0, kInputsLow = 3, kInputsHigh = 1;

class PlacaCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(recorder_.loaded()) << "the recording io driver is not the one loaded";
    SALIDA(0);  // the image lives in this process across tests
    recorder_.reset();
  }

  Outcome placa(std::vector<std::string> args, const placa::WatchSettings& watch = {}) {
    std::ostringstream out, err;
    const int code = placa::main_with(args, out, err, watch);
    return {code, out.str(), err.str()};
  }

  // Starts from a given image with an empty log.
  void image(int32_t value) {
    SALIDA(value);
    recorder_.reset();
  }

  std::vector<int32_t> data() const { return recorder_.writes_to(kDataPort); }

  Recorder recorder_;
};

// ---- outputs and motors

TEST_F(PlacaCommands, SalidaWritesTheByteAndPrintsTheImage) {
  const Outcome r = placa({"salida", "0x5A"});
  EXPECT_EQ(r.code, placa::kExitOk);
  EXPECT_EQ(recorder_.log(), (std::vector<PortAccess>{Out(kControlPort, 7), Out(kDataPort, 0x5A)}));
  EXPECT_EQ(r.out,
            "outputs: 90 (0x5A, 0b01011010)\n"
            "  1:off 2:on 3:off 4:on 5:on 6:off 7:on 8:off\n"
            "motors: 1:D 2:D 3:I 4:I\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(VS_INT(), 0x5A);
}

TEST_F(PlacaCommands, ConectaAndDesconectaChangeOneOutputOfTheImage) {
  Outcome r = placa({"conecta", "3"});
  EXPECT_EQ(recorder_.log(), (std::vector<PortAccess>{Out(kControlPort, 7), Out(kDataPort, 4)}));
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "outputs: 4 (0x04, 0b00000100)");

  image(255);
  r = placa({"desconecta", "8"});
  EXPECT_EQ(data(), std::vector<int32_t>{127});
  EXPECT_NE(r.out.find("7:on 8:off"), std::string::npos) << r.out;
}

TEST_F(PlacaCommands, MotorCommandsSwitchTheOffOutputFirst) {
  image(1);
  Outcome r = placa({"motor", "2", "d"});
  EXPECT_EQ(r.code, placa::kExitOk);
  EXPECT_EQ(data(), (std::vector<int32_t>{1, 9}));
  EXPECT_NE(r.out.find("motors: 1:I 2:D 3:P 4:P"), std::string::npos) << r.out;

  image(255);
  r = placa({"motores", "PPDI"});
  EXPECT_EQ(data(), (std::vector<int32_t>{254, 252, 248, 240, 224, 224, 96, 96}));
  EXPECT_NE(r.out.find("outputs: 96 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("motors: 1:P 2:P 3:D 4:I"), std::string::npos) << r.out;
}

TEST_F(PlacaCommands, EstadoReadsTheImageAndNotTheBoard) {
  image(3);
  const Outcome r = placa({"estado"});
  EXPECT_EQ(r.code, placa::kExitOk);
  EXPECT_TRUE(recorder_.log().empty());
  EXPECT_EQ(r.out,
            "outputs: 3 (0x03, 0b00000011)\n"
            "  1:on 2:on 3:off 4:off 5:off 6:off 7:off 8:off\n"
            "motors: 1:P 2:P 3:P 4:P\n")
      << "a pair with both outputs on reads back as P";
}

// ---- inputs

TEST_F(PlacaCommands, EntradasMakesOneDigitalRead) {
  recorder_.script_status(kInputsLow, {0x70});
  recorder_.script_status(kInputsHigh, {0x58});  // input 7 on
  const Outcome r = placa({"entradas"});
  EXPECT_EQ(r.code, placa::kExitOk);
  EXPECT_EQ(recorder_.log(), (std::vector<PortAccess>{Out(kControlPort, 3), In(kStatusPort, 0x70),
                                                      Out(kControlPort, 1), In(kStatusPort, 0x58)}));
  EXPECT_EQ(r.out,
            "inputs: 65 (0x41, 0b01000001)\n"
            "  1:on 2:off 3:off 4:off 5:off 6:off 7:on 8:off\n");
}

TEST_F(PlacaCommands, AnalogicasReadsEachInputThroughItsOwnChannel) {
  // Three counts, then the four conversions of the whole volts.
  const int counts[] = {105, 51, 204, 205, 52, 103, 255};
  std::vector<uint8_t> low, high;
  for (int c : counts) {
    low.push_back(LowStatus(c));
    high.push_back(HighStatus(c));
  }
  recorder_.script_status(kAnalogLow, {low[0], low[1], low[2], low[3], low[4], low[5], low[6]});
  recorder_.script_status(kAnalogHigh, {high[0], high[1], high[2], high[3], high[4], high[5], high[6]});

  const Outcome r = placa({"analogicas"});
  EXPECT_EQ(r.code, placa::kExitOk);
  // Each conversion writes its channel mask twice; input 3 is mask 4, not 3.
  EXPECT_EQ(data(), (std::vector<int32_t>{1, 1, 2, 2, 4, 4, 1, 1, 2, 2, 4, 4, 8, 8}));
  EXPECT_EQ(r.out,
            "analog  count  volts\n"
            "1 (W)     105      4\n"
            "2 (X)      51      1\n"
            "3 (Y)     204      2\n"
            "4 (Z)       -      4\n");
  EXPECT_EQ(VS_INT(), 0) << "conversions leave the output image alone";
}

// ---- waits

TEST_F(PlacaCommands, EsperaOnWithoutTimeOutWaitsThroughTheLibrary) {
  recorder_.script_status(kInputsLow, {0x78, 0x78, 0x70});  // input 1 on at the third read
  const Outcome r = placa({"espera-on", "1"});
  EXPECT_EQ(r.code, placa::kExitOk);
  EXPECT_EQ(r.out, "input 1 on\n");
  EXPECT_EQ(recorder_.status_reads(), 6);
}

TEST_F(PlacaCommands, AWaitAlreadyMetCostsOneRead) {
  const Outcome r = placa({"espera-off", "2", "--timeout", "5"});
  EXPECT_EQ(r.code, placa::kExitOk);
  EXPECT_EQ(r.out, "input 2 off\n");
  EXPECT_EQ(recorder_.status_reads(), 2);
}

TEST_F(PlacaCommands, TimedWaitEndsWithExitCodeOne) {
  recorder_.default_status(0x00);  // every input on: input 5 never turns off
  const auto start = std::chrono::steady_clock::now();
  const Outcome r = placa({"espera-off", "5", "-t", "0.05"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.code, placa::kExitTimedOut);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "placa: input 5 still on after 0.05 s\n");
  EXPECT_GE(took, 50ms);
  EXPECT_LT(took, 5s);
  // Nothing but whole digital reads, more than one of them.
  const std::vector<PortAccess> log = recorder_.log();
  ASSERT_EQ(log.size() % 4, 0u);
  EXPECT_GT(log.size(), 4u);
  for (size_t i = 0; i < log.size(); i += 4) {
    EXPECT_EQ(log[i], Out(kControlPort, 3));
    EXPECT_EQ(log[i + 2], Out(kControlPort, 1));
  }
}

TEST_F(PlacaCommands, TimeOutOfZeroLooksOnce) {
  const Outcome r = placa({"espera-on", "8", "-t", "0"});
  EXPECT_EQ(r.code, placa::kExitTimedOut);
  EXPECT_EQ(r.err, "placa: input 8 still off after 0 s\n");
  EXPECT_EQ(recorder_.status_reads(), 2);
}

// ---- the live view

TEST_F(PlacaCommands, VigilaDrawsFramesInPlace) {
  placa::WatchSettings watch;
  watch.on_terminal = true;
  watch.max_frames = 2;
  watch.interval = 0ms;
  const Outcome r = placa({"vigila"}, watch);
  EXPECT_EQ(r.code, placa::kExitOk);
  // Per frame: one digital read and seven conversions.
  EXPECT_EQ(recorder_.status_reads(), 2 * (2 + 7 * 2));
  EXPECT_EQ(r.out.rfind("\x1b[?25l\x1b[2J\x1b[H", 0), 0u) << "hides the cursor and clears first";
  EXPECT_NE(r.out.find("inputs: 0 (0x00, 0b00000000)\x1b[K\n"), std::string::npos);
  EXPECT_NE(r.out.find("4 (Z)       -      4\x1b[K\n\x1b[J\x1b[H"), std::string::npos)
      << "the second frame draws over the first";
  EXPECT_EQ(r.out.substr(r.out.size() - 7), "\x1b[?25h\n") << "the cursor comes back";
}

TEST_F(PlacaCommands, VigilaEndsWhenStopped) {
  std::atomic<bool> stop{false};
  placa::WatchSettings watch;
  watch.on_terminal = true;
  watch.stop = &stop;
  watch.interval = 10ms;
  std::thread interrupt([&] {
    std::this_thread::sleep_for(100ms);
    stop = true;
  });
  const Outcome r = placa({"vigila"}, watch);
  interrupt.join();
  EXPECT_EQ(r.code, placa::kExitOk);
  EXPECT_GT(recorder_.status_reads(), 0);
}

TEST_F(PlacaCommands, VigilaWithoutCursorControlPrintsPlainFrames) {
  placa::WatchSettings watch;
  watch.on_terminal = true;
  watch.prepare = [] { return false; };
  watch.max_frames = 1;
  const Outcome r = placa({"vigila"}, watch);
  EXPECT_EQ(r.code, placa::kExitOk);
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("inputs: 0 "), std::string::npos);
}

TEST_F(PlacaCommands, VigilaRefusesToDrawOffATerminal) {
  const Outcome r = placa({"vigila"});
  EXPECT_EQ(r.code, placa::kExitUsage);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("terminal"), std::string::npos);
  EXPECT_TRUE(recorder_.log().empty());
}

// ---- bad command lines

TEST_F(PlacaCommands, BadArgumentsExitTwoWithoutTouchingTheBoard) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"encender"},
      {"salida"},
      {"salida", "256"},
      {"salida", "-1"},
      {"salida", "1", "2"},
      {"salida", "99999999999999999999"},
      {"conecta", "0"},
      {"conecta", "9"},
      {"motor", "0", "D"},
      {"motor", "1", "X"},
      {"motor", "1", "DI"},
      {"motor", "1"},
      {"motores", "DPI"},
      {"motores", "DxPP"},
      {"espera-on", "9"},
      {"espera-on", "1", "-t"},
      {"espera-on", "1", "--timeout=-1"},
      {"espera-on", "1", "2"},
      {"estado", "1"},
      {"entradas", "--all"},
      {"vigila", "-t", "1"},
  };
  for (const auto& args : cases) {
    std::string line;
    for (const auto& a : args) line += a + " ";
    recorder_.reset();
    const Outcome r = placa(args);
    EXPECT_EQ(r.code, placa::kExitUsage) << line;
    EXPECT_EQ(r.out, "") << line;
    EXPECT_EQ(r.err.rfind("placa: ", 0), 0u) << line << r.err;
    EXPECT_NE(r.err.find("\nTry 'placa --help'.\n"), std::string::npos) << line << r.err;
    EXPECT_TRUE(recorder_.log().empty()) << line;
  }
  EXPECT_EQ(VS_INT(), 0);
}

TEST_F(PlacaCommands, HelpWinsAndTouchesNothing) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"conecta", "3", "--help"}, {"-h"}}) {
    const Outcome r = placa(args);
    EXPECT_EQ(r.code, placa::kExitOk);
    EXPECT_EQ(r.out, placa::help_text());
    EXPECT_TRUE(recorder_.log().empty());
  }
}

}  // namespace
