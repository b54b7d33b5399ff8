// Outputs, motors, read-backs and the pause, checked on the recording board.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "placaio_fixture.h"

namespace {

using std::vector;

// ---- read-backs right after loading

TEST_F(BoardTest, FreshReadBacksShowEverythingOffWithoutTouchingAPort) {
  recorder_.default_status(0x00);  // whatever the board shows
  int32_t outputs[8];
  std::memset(outputs, 0x55, sizeof outputs);
  char motors[4] = {'x', 'x', 'x', 'x'};
  char connected[4] = {9, 9, 9, 9};
  EXPECT_EQ(VS_INT(), 0);
  SALIDA_INT(outputs);
  M_INT(motors);
  CONECTADO_INT(connected);
  EXPECT_EQ(vector<int32_t>(outputs, outputs + 8), vector<int32_t>(8, 0));
  EXPECT_EQ(vector<char>(motors, motors + 4), (vector<char>{'P', 'P', 'P', 'P'}));
  EXPECT_EQ(vector<char>(connected, connected + 4), (vector<char>{0, 0, 0, 0}));
  EXPECT_TRUE(log().empty());
}

// ---- single outputs

TEST_F(BoardTest, ConnectingAnOutputSendsTheWholeByteEvenWhenUnchanged) {
  CONECTA(3);
  EXPECT_EQ(log(), OutputWrites({4}));
  EXPECT_EQ(VS_INT(), 4);
  recorder_.reset();
  CONECTA(3);
  EXPECT_EQ(log(), OutputWrites({4}));
  EXPECT_EQ(VS_INT(), 4);
}

TEST_F(BoardTest, SwitchingOneOutputCarriesTheOthers) {
  StartFrom(0x81);
  CONECTA(4);
  DESCONECTA(1);
  EXPECT_EQ(data_writes(), (vector<int32_t>{0x89, 0x88}));
  EXPECT_EQ(VS_INT(), 0x88);
}

TEST_F(BoardTest, DisconnectingTheLastOutputFromAllOn) {
  StartFrom(255);
  DESCONECTA(8);
  EXPECT_EQ(log(), OutputWrites({127}));
  EXPECT_EQ(VS_INT(), 127);
}

TEST_F(BoardTest, ApagaSwitchesOffLikeDesconecta) {
  StartFrom(255);
  APAGA(1);
  EXPECT_EQ(log(), OutputWrites({254}));
  recorder_.reset();
  APAGA(1);  // already off: written again
  EXPECT_EQ(log(), OutputWrites({254}));
  EXPECT_EQ(VS_INT(), 254);
}

TEST_F(BoardTest, EveryOutputNumberHitsItsOwnBit) {
  for (int32_t n = 1; n <= 8; ++n) {
    StartFrom(0);
    CONECTA(n);
    EXPECT_EQ(VS_INT(), 1 << (n - 1)) << "output " << n;
    StartFrom(255);
    DESCONECTA(n);
    EXPECT_EQ(VS_INT(), 255 - (1 << (n - 1))) << "output " << n;
  }
}

class OutputOutOfRange : public BoardTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(OutputOutOfRange, WritesNothingAndKeepsTheImage) {
  StartFrom(0x5A);
  CONECTA(GetParam());
  DESCONECTA(GetParam());
  APAGA(GetParam());
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(VS_INT(), 0x5A);
}

// 257 is out of range, not output 1 by its low byte.
INSTANTIATE_TEST_SUITE_P(Numbers, OutputOutOfRange,
                         ::testing::Values(0, 9, -1, 257, 264, INT_MIN, INT_MAX));

// ---- whole-byte writes

TEST_F(BoardTest, WholeByteAcceptsZeroTo255) {
  StartFrom(0x10);
  SALIDA(0);
  SALIDA(255);
  EnviaOcteto(0x42);
  EXPECT_EQ(log(), OutputWrites({0, 255, 0x42}));
  EXPECT_EQ(VS_INT(), 0x42);
}

TEST_F(BoardTest, WholeByteOutOfRangeWritesNothing) {
  StartFrom(0x42);
  for (int32_t v : {-1, 256, 511, INT_MIN, INT_MAX}) {
    SALIDA(v);
    EnviaOcteto(v);
  }
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(VS_INT(), 0x42);
}

TEST_F(BoardTest, AllOnAndAllOff) {
  StartFrom(0x0F);
  CONECTAR();
  EXPECT_EQ(VS_INT(), 255);
  DESCONECTAR();
  EXPECT_EQ(VS_INT(), 0);
  EXPECT_EQ(log(), OutputWrites({255, 0}));
}

// ---- motors

TEST_F(BoardTest, MotorOneForwardThenReverseThenStop) {
  M1('D');
  EXPECT_EQ(log(), OutputWrites({0, 2}));
  EXPECT_EQ(VS_INT(), 2);
  char motors[4];
  char connected[4];
  M_INT(motors);
  CONECTADO_INT(connected);
  EXPECT_EQ(vector<char>(motors, motors + 4), (vector<char>{'D', 'P', 'P', 'P'}));
  EXPECT_EQ(vector<char>(connected, connected + 4), (vector<char>{1, 0, 0, 0}));

  recorder_.reset();
  M1('I');  // the output that ends off goes first: never both on
  EXPECT_EQ(log(), OutputWrites({0, 1}));
  recorder_.reset();
  M1('P');
  EXPECT_EQ(log(), OutputWrites({0, 0}));
  EXPECT_EQ(VS_INT(), 0);
}

TEST_F(BoardTest, ReversalFromIToDPassesThroughBothOff) {
  StartFrom(0xF1);  // motor 1 'I', outputs 5..8 on
  M1('D');
  EXPECT_EQ(data_writes(), (vector<int32_t>{0xF0, 0xF2}));
  StartFrom(0x02);
  M1('I');
  EXPECT_EQ(data_writes(), (vector<int32_t>{0x00, 0x01}));
}

TEST_F(BoardTest, MotorCommandRewritesAPairAlreadyInState) {
  StartFrom(1);
  M2('D');  // output 3 already off
  EXPECT_EQ(log(), OutputWrites({1, 9}));
  recorder_.reset();
  M2('D');
  EXPECT_EQ(log(), OutputWrites({9, 9}));
}

TEST_F(BoardTest, EachMotorDrivesItsOwnPair) {
  M3('I');
  EXPECT_EQ(data_writes(), (vector<int32_t>{0, 16}));
  recorder_.reset();
  M4('D');
  EXPECT_EQ(data_writes(), (vector<int32_t>{16, 144}));
  recorder_.reset();
  M2('I');
  EXPECT_EQ(data_writes(), (vector<int32_t>{144, 148}));
  char motors[4];
  M_INT(motors);
  EXPECT_EQ(vector<char>(motors, motors + 4), (vector<char>{'P', 'I', 'I', 'D'}));
}

TEST_F(BoardTest, MotorCodeIsTheLowByteOnly) {
  M1(324);  // 324 = 256 + 'D'
  EXPECT_EQ(data_writes(), (vector<int32_t>{0, 2}));
  recorder_.reset();
  M1(-256 + 'I');
  EXPECT_EQ(data_writes(), (vector<int32_t>{0, 1}));
}

TEST_F(BoardTest, InvalidMotorCodesCommandNothing) {
  StartFrom(0x66);
  for (int32_t code : {int32_t{'d'}, int32_t{'i'}, int32_t{'p'}, 0, 'D' + 128, int32_t{'x'}, -1}) {
    M1(code);
    M2(code);
    M3(code);
    M4(code);
  }
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(VS_INT(), 0x66);
}

TEST_F(BoardTest, AllMotorsWithAnInvalidCodeInTheMiddle) {
  StartFrom(255);
  const char codes[4] = {'P', 'x', 'D', 'I'};
  M(codes);
  EXPECT_EQ(log(), OutputWrites({254, 252, 236, 236, 108, 108}));
  EXPECT_EQ(VS_INT(), 108);
  char motors[4];
  M_INT(motors);
  EXPECT_EQ(vector<char>(motors, motors + 4), (vector<char>{'P', 'P', 'D', 'I'}));
}

TEST_F(BoardTest, AllMotorsReadsOnlyFourCodes) {
  // The fifth byte would command nothing anyway; reading it would be out of bounds
  // under the sanitizers.
  char* codes = new char[4]{'D', 'D', 'D', 'D'};
  M(codes);
  delete[] codes;
  EXPECT_EQ(VS_INT(), 0xAA);
  EXPECT_EQ(data_writes().size(), 8u);
}

// ---- read-backs

TEST_F(BoardTest, PairWithBothOutputsOnReadsAsStopped) {
  SALIDA(3);
  recorder_.reset();
  char motors[4];
  char connected[4];
  M_INT(motors);
  CONECTADO_INT(connected);
  EXPECT_EQ(motors[0], 'P');
  EXPECT_EQ(connected[0], 0);
  EXPECT_TRUE(log().empty());
}

TEST_F(BoardTest, SingleOutputsReadBackFromTheImage) {
  SALIDA(129);
  recorder_.reset();
  int32_t outputs[8];
  SALIDA_INT(outputs);
  EXPECT_EQ(vector<int32_t>(outputs, outputs + 8), (vector<int32_t>{1, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_TRUE(log().empty());
}

TEST_F(BoardTest, EveryMotorStateReadsBack) {
  StartFrom(0b11100100);  // motor 1 'P' (off), 2 'I', 3 'D', 4 'P' (both on)
  char motors[4];
  char connected[4];
  M_INT(motors);
  CONECTADO_INT(connected);
  EXPECT_EQ(vector<char>(motors, motors + 4), (vector<char>{'P', 'I', 'D', 'P'}));
  EXPECT_EQ(vector<char>(connected, connected + 4), (vector<char>{0, 1, 1, 0}));
}

TEST_F(BoardTest, ReadBacksWriteExactlyTheirLength) {
  StartFrom(255);
  int32_t outputs[9];
  std::fill(outputs, outputs + 9, -7);
  char motors[5] = {'x', 'x', 'x', 'x', 'x'};
  char connected[5] = {9, 9, 9, 9, 9};
  SALIDA_INT(outputs);
  M_INT(motors);
  CONECTADO_INT(connected);
  EXPECT_EQ(vector<int32_t>(outputs, outputs + 9), (vector<int32_t>{1, 1, 1, 1, 1, 1, 1, 1, -7}));
  EXPECT_EQ(motors[3], 'P');
  EXPECT_EQ(motors[4], 'x');
  EXPECT_EQ(connected[3], 0);
  EXPECT_EQ(connected[4], 9);
}

TEST_F(BoardTest, InnerReadBacksUseTheImageGiven) {
  StartFrom(0);
  EXPECT_EQ(estado_salida(0x80, 8), 1);
  EXPECT_EQ(estado_salida(0x80, 7), 0);
  EXPECT_EQ(estado_motor(0b0100, 3, 4), 'I');
  EXPECT_EQ(estado_motor(0b1000, 3, 4), 'D');
  EXPECT_EQ(estado_motor(0b1100, 3, 4), 'P');
  EXPECT_TRUE(log().empty());
}

TEST_F(BoardTest, NullBuffersDoNothing) {
  StartFrom(0x33);
  M(nullptr);
  SALIDA_INT(nullptr);
  M_INT(nullptr);
  CONECTADO_INT(nullptr);
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(VS_INT(), 0x33);
}

// ---- binding

TEST_F(BoardTest, OperationsBindEvenWhenTheyTouchNoPort) {
  const vector<std::pair<const char*, void (*)()>> operations = {
      {"VS_INT", [] { VS_INT(); }},
      {"SALIDA_INT(null)", [] { SALIDA_INT(nullptr); }},
      {"M(null)", [] { M(nullptr); }},
      {"CONECTA(0)", [] { CONECTA(0); }},
      {"SALIDA(-1)", [] { SALIDA(-1); }},
      {"M1('x')", [] { M1('x'); }},
      {"estado_salida", [] { estado_salida(0, 1); }},
      {"segundos(0)", [] { segundos(0.0f); }},
  };
  for (const auto& [name, operation] : operations) {
    Unbind();
    operation();
    EXPECT_NE(hio, nullptr) << name;
    EXPECT_NE(PortOut, nullptr) << name;
  }
  EXPECT_TRUE(log().empty());
}

// ---- the pause

double SecondsTaken(float pause) {
  const auto start = std::chrono::steady_clock::now();
  segundos(pause);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(BoardTest, PauseTruncatesToAWholeCountInTheCopysUnit) {
  if (kLiftCopy) {
    const double taken = SecondsTaken(2.9f);  // 2 ms
    EXPECT_GE(taken, 0.002);
    EXPECT_LT(taken, 0.5);
    EXPECT_GE(SecondsTaken(40.9f), 0.040);
  } else {
    const double taken = SecondsTaken(1.9f);  // one second, not two
    EXPECT_GE(taken, 1.0);
    EXPECT_LT(taken, 1.8);
  }
  EXPECT_TRUE(log().empty());
}

TEST_F(BoardTest, PauseOfLessThanOneUnitReturnsAtOnce) {
  for (float pause : {0.0f, 0.5f, 0.99f, -0.7f, -0.0f})
    EXPECT_LT(SecondsTaken(pause), 0.5) << pause;
}

TEST_F(BoardTest, PauseWithNoSensibleCountReturnsAtOnce) {
  const float inf = std::numeric_limits<float>::infinity();
  for (float pause : {-1.0f, -2.9f, -1e9f, 4294967296.0f, 1e10f, 1e30f, inf, -inf,
                      std::numeric_limits<float>::quiet_NaN()})
    EXPECT_LT(SecondsTaken(pause), 0.5) << pause;
}

}  // namespace
