// Digital and analog inputs, checked on the recording board's scripted status bytes.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "placaio_fixture.h"

namespace {

using std::vector;

constexpr int32_t kLowInputs = 3, kHighInputs = 1;  // control values of the two groups
constexpr int32_t kAnalogLow = 2, kAnalogHigh = 0;

class InputsTest : public BoardTest {
 protected:
  void Inputs(uint8_t low_status, uint8_t high_status) {
    recorder_.script_status(kLowInputs, {low_status});
    recorder_.script_status(kHighInputs, {high_status});
  }
  // Status bytes that a conversion assembles into the given count.
  void AnalogCount(int32_t count) {
    recorder_.script_status(kAnalogLow, {static_cast<uint8_t>((count & 0xF) << 3)});
    recorder_.script_status(kAnalogHigh, {static_cast<uint8_t>((count >> 4) << 3)});
  }
};

vector<PortAccess> DigitalRead(int32_t low_status, int32_t high_status) {
  return {Out(kControlPort, kLowInputs), In(kStatusPort, low_status),
          Out(kControlPort, kHighInputs), In(kStatusPort, high_status)};
}

vector<PortAccess> Conversion(int32_t mask, int32_t low_status, int32_t high_status) {
  return {Out(kControlPort, 5),        Out(kDataPort, mask),        Out(kControlPort, 8),
          Out(kControlPort, 2),        In(kStatusPort, low_status), Out(kControlPort, 5),
          Out(kDataPort, mask),        Out(kControlPort, 8),        Out(kControlPort, 0),
          In(kStatusPort, high_status)};
}

// ---- the input byte

TEST_F(InputsTest, InputByteIsTwoComplementedGroups) {
  Inputs(0x70, 0xF8);
  EXPECT_EQ(VE_INT(), 1);
  EXPECT_EQ(log(), DigitalRead(0x70, 0xF8));
}

TEST_F(InputsTest, InputByteIgnoresStatusBitsOutsideThreeToSix) {
  const struct {
    uint8_t low, high;
    int32_t byte;
  } cases[] = {{0x78, 0x78, 0},  {0x00, 0x00, 255}, {0x87, 0x87, 255}, {0xFF, 0xFF, 0},
               {0x78, 0x70, 16}, {0x38, 0x78, 8},   {0x40, 0x38, 0x87}};
  for (const auto& c : cases) {
    Inputs(c.low, c.high);
    EXPECT_EQ(VE_INT(), c.byte) << std::hex << int(c.low) << " " << int(c.high);
  }
}

TEST_F(InputsTest, EachStatusBitGivesItsOwnInput) {
  for (int32_t bit = 0; bit < 4; ++bit) {
    const uint8_t one_low = static_cast<uint8_t>(0x78 & ~(0x08 << bit));
    Inputs(one_low, 0x78);
    EXPECT_EQ(VE_INT(), 1 << bit);
    Inputs(0x78, one_low);
    EXPECT_EQ(VE_INT(), 1 << (bit + 4));
  }
}

// ---- single inputs

TEST_F(InputsTest, SingleInputIsItsBitOfOneRead) {
  Inputs(0x70, 0x78);  // input 1 on
  EXPECT_EQ(SD(1), 1);
  EXPECT_EQ(log(), DigitalRead(0x70, 0x78));
  EXPECT_EQ(SD(2), 0);
  EXPECT_EQ(entrada(1), 1);
  EXPECT_EQ(entrada(2), 0);
  Inputs(0x78, 0x38);  // input 8 on
  EXPECT_EQ(SD(8), 1);
  EXPECT_EQ(SD(7), 0);
}

TEST_F(InputsTest, SingleInputBelowOneReadsOnWhateverTheInputs) {
  for (uint8_t status : {0x00, 0x78}) {
    Inputs(status, status);
    for (int32_t n : {0, -5, -31, -32, INT_MIN}) {
      EXPECT_EQ(SD(n), 1) << n;
      EXPECT_EQ(entrada(n), 1) << n;
    }
  }
}

TEST_F(InputsTest, SingleInputAboveEightReadsOffWhateverTheInputs) {
  for (uint8_t status : {0x00, 0x78}) {
    Inputs(status, status);
    for (int32_t n : {9, 10, 31, 32, 33, 64, 1000, INT_MAX}) {
      EXPECT_EQ(SD(n), 0) << n;
      EXPECT_EQ(entrada(n), 0) << n;
    }
  }
}

TEST_F(InputsTest, SingleInputOutOfRangeStillReadsTheBoard) {
  SD(0);
  SD(40);
  EXPECT_EQ(log().size(), 8u);
}

TEST_F(InputsTest, AllInputsComeFromOneRead) {
  Inputs(0x70, 0x78);
  int32_t values[9];
  std::fill(values, values + 9, -3);
  SD_INT(values);
  EXPECT_EQ(vector<int32_t>(values, values + 9), (vector<int32_t>{1, 0, 0, 0, 0, 0, 0, 0, -3}));
  EXPECT_EQ(log(), DigitalRead(0x70, 0x78));
  Inputs(0x48, 0x30);  // inputs 2, 3, 5 and 8 on
  SD_INT(values);
  EXPECT_EQ(vector<int32_t>(values, values + 9), (vector<int32_t>{0, 1, 1, 0, 1, 0, 0, 1, -3}));
}

TEST_F(InputsTest, AllInputsIntoNullDoesNothing) {
  SD_INT(nullptr);
  EXPECT_TRUE(log().empty());
}

// ---- waits

TEST_F(InputsTest, WaitsOutOfRangeReturnAtOnceWithoutTouchingTheBoard) {
  for (int32_t n : {0, 9, -1, INT_MIN, INT_MAX}) {
    EsperaOn(n);
    EsperaOff(n);
  }
  EXPECT_TRUE(log().empty());
}

TEST_F(InputsTest, SatisfiedWaitCostsOneRead) {
  Inputs(0x70, 0x78);  // input 1 on, 5 off
  EsperaOn(1);
  EXPECT_EQ(log(), DigitalRead(0x70, 0x78));
  recorder_.reset();
  Inputs(0x70, 0x78);
  EsperaOff(5);
  EXPECT_EQ(log(), DigitalRead(0x70, 0x78));
}

TEST_F(InputsTest, WaitForOnPollsUntilTheInputTurnsOn) {
  recorder_.script_status(kLowInputs, {0x70, 0x70, 0x70, 0x60});  // input 1 on, then 2 as well
  EsperaOn(2);
  vector<PortAccess> expected;
  for (uint8_t low : {0x70, 0x70, 0x70, 0x60})
    for (const PortAccess& a : DigitalRead(low, 0x78)) expected.push_back(a);
  EXPECT_EQ(log(), expected);
}

TEST_F(InputsTest, WaitForOffPollsUntilTheInputTurnsOff) {
  recorder_.script_status(kHighInputs, {0x70, 0x70, 0x78});  // input 5 on, on, off
  EsperaOff(5);
  EXPECT_EQ(recorder_.status_reads(), 6);
  EXPECT_EQ(control_writes(), (vector<int32_t>{3, 1, 3, 1, 3, 1}));
}

// ---- analog conversion

TEST_F(InputsTest, ConversionSequenceAndCount) {
  recorder_.script_status(kAnalogLow, {0x48});
  recorder_.script_status(kAnalogHigh, {0x30});
  EXPECT_EQ(leeanalogica(1), 105);
  EXPECT_EQ(log(), Conversion(1, 0x48, 0x30));
}

TEST_F(InputsTest, ConversionScalesToWholeVolts) {
  recorder_.script_status(kAnalogLow, {0x48});
  recorder_.script_status(kAnalogHigh, {0x30});
  EXPECT_EQ(SAW(), 2);  // 105 * 5 / 256
  EXPECT_EQ(log(), Conversion(1, 0x48, 0x30));
}

TEST_F(InputsTest, CountEdgesAndIgnoredStatusBits) {
  recorder_.script_status(kAnalogLow, {0x78});
  recorder_.script_status(kAnalogHigh, {0x78});
  EXPECT_EQ(leeanalogica(2), 255);
  EXPECT_EQ(SAX(), 4);
  recorder_.script_status(kAnalogLow, {0x00});
  recorder_.script_status(kAnalogHigh, {0x00});
  EXPECT_EQ(leeanalogica(2), 0);
  EXPECT_EQ(SAX(), 0);
  recorder_.script_status(kAnalogLow, {0x87});
  recorder_.script_status(kAnalogHigh, {0x87});
  EXPECT_EQ(leeanalogica(2), 0);  // not complemented, and bits 0..2 and 7 ignored
}

TEST_F(InputsTest, VoltsAtTheScaleBoundaries) {
  const struct {
    int32_t count, volts;
  } cases[] = {{0, 0},   {51, 0},  {52, 1},  {102, 1}, {103, 2},
               {153, 2}, {154, 3}, {204, 3}, {205, 4}, {255, 4}};
  for (const auto& c : cases) {
    AnalogCount(c.count);
    EXPECT_EQ(leeanalogica(1), c.count);
    EXPECT_EQ(SAY(), c.volts) << "count " << c.count;
    EXPECT_EQ(tension_de_entrada_analogica(4), c.volts) << "count " << c.count;
  }
}

TEST_F(InputsTest, EachAnalogInputHasItsMask) {
  SAW();
  SAX();
  SAY();
  SAZ();
  EXPECT_EQ(data_writes(), (vector<int32_t>{1, 1, 2, 2, 4, 4, 8, 8}));
}

TEST_F(InputsTest, AllAnalogInputsAreFourConversionsInOrder) {
  recorder_.script_status(kAnalogLow, {0x00, 0x78, 0x00, 0x48});
  recorder_.script_status(kAnalogHigh, {0x00, 0x78, 0x40, 0x30});
  int32_t volts[5] = {-1, -1, -1, -1, -1};
  SA_INT(volts);
  // counts 0, 255, 128, 105
  EXPECT_EQ(vector<int32_t>(volts, volts + 5), (vector<int32_t>{0, 4, 2, 2, -1}));
  EXPECT_EQ(data_writes(), (vector<int32_t>{1, 1, 2, 2, 4, 4, 8, 8}));
  EXPECT_EQ(recorder_.status_reads(), 8);
}

TEST_F(InputsTest, AllAnalogInputsIntoNullDoesNothing) {
  SA_INT(nullptr);
  EXPECT_TRUE(log().empty());
}

TEST_F(InputsTest, RawAnalogReadUsesTheNumberAsMask) {
  leeanalogica(3);
  EXPECT_EQ(data_writes(), (vector<int32_t>{3, 3}));
  recorder_.reset();
  leeanalogica(4);
  EXPECT_EQ(data_writes(), (vector<int32_t>{4, 4}));
}

TEST_F(InputsTest, RawAnalogReadOutOfRangeIsZeroWithoutTouchingTheBoard) {
  recorder_.default_status(0x78);
  for (int32_t n : {0, 5, -1, 8, INT_MIN, INT_MAX}) EXPECT_EQ(leeanalogica(n), 0) << n;
  EXPECT_TRUE(log().empty());
}

TEST_F(InputsTest, ConversionLeavesTheOutputImageAlone) {
  SALIDA(0x5A);
  recorder_.reset();
  SAW();
  EXPECT_EQ(VS_INT(), 0x5A);
  EXPECT_EQ(data_writes().back(), 1);
  EXPECT_EQ(control_writes().back(), 0);
  for (int32_t c : control_writes()) EXPECT_NE(c, 7);
}

TEST_F(InputsTest, DigitalReadLeavesControlAtOne) {
  VE_INT();
  EXPECT_EQ(control_writes().back(), 1);
  EXPECT_TRUE(data_writes().empty());
}

}  // namespace
