// Words, bits and shifts over a driver's byte access, as every driver built here
// derives them: on a fake parallel port that logs each byte access.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "port_ops.h"

namespace {

using namespace port_ops;

constexpr int64_t kData = 888, kStatus = 889, kControl = 890;
constexpr uint8_t kFloating = 0xFF;

// Three registers; the status register takes no writes, other ports float.
class FakePort final : public Bytes {
 public:
  uint8_t read(int64_t port) override {
    const auto r = registers.find(port);
    const uint8_t value = r == registers.end() ? kFloating : r->second;
    log.push_back("in " + std::to_string(port) + " " + std::to_string(value));
    return value;
  }
  void write(int64_t port, uint8_t value) override {
    log.push_back("out " + std::to_string(port) + " " + std::to_string(value));
    if (port != kStatus && registers.count(port)) registers[port] = value;
  }

  std::map<int64_t, uint8_t> registers{{kData, 0}, {kStatus, 0}, {kControl, 0}};
  std::vector<std::string> log;
};

using Log = std::vector<std::string>;

class PortOps : public ::testing::Test {
 protected:
  FakePort port;
};

TEST_F(PortOps, WordsGoLowByteFirstOverConsecutivePorts) {
  write_dword(port, kData, 0x04030201);
  EXPECT_EQ(port.log, (Log{"out 888 1", "out 889 2", "out 890 3", "out 891 4"}));
  EXPECT_EQ(port.registers[kData], 1);
  EXPECT_EQ(port.registers[kStatus], 0) << "status takes no writes";
  EXPECT_EQ(port.registers[kControl], 3);
  port.log.clear();
  write_word(port, kStatus, 0x0700);
  EXPECT_EQ(port.log, (Log{"out 889 0", "out 890 7"}));

  port.registers = {{kData, 0x12}, {kStatus, 0x34}, {kControl, 0x05}};
  EXPECT_EQ(read_word(port, kData), 0x3412);
  EXPECT_EQ(read_word(port, kStatus), 0x0534);
  EXPECT_EQ(read_dword(port, kData), 0xFF053412u) << "the fourth port floats";
  EXPECT_EQ(read_dword(port, kControl), 0xFFFFFF05u);
}

TEST_F(PortOps, WordsAtTheTopOfTheAddressRangeDoNotWrap) {
  write_dword(port, INT32_MAX, 0xFFFFFFFF);
  EXPECT_EQ(read_dword(port, INT32_MAX - 1), 0xFFFFFFFFu);
  for (const std::string& access : port.log)
    EXPECT_EQ(access.find('-'), std::string::npos) << access;
  EXPECT_EQ(port.log.back(), "in " + std::to_string(int64_t{INT32_MAX} + 2) + " 255");
  EXPECT_EQ(port.registers[kData], 0);
}

TEST_F(PortOps, BitOperationsChangeOneBitByReadThenWrite) {
  port.registers[kData] = 0x81;
  set_bit(port, kData, 3);
  EXPECT_EQ(port.log, (Log{"in 888 129", "out 888 137"}));
  clear_bit(port, kData, 0);
  EXPECT_EQ(port.registers[kData], 0x88);
  toggle_bit(port, kData, 7);
  EXPECT_EQ(port.registers[kData], 0x08);
  toggle_bit(port, kData, 7);
  EXPECT_EQ(port.registers[kData], 0x88);
  EXPECT_EQ(get_bit(port, kData, 3), 1);
  EXPECT_EQ(get_bit(port, kData, 2), 0);
  port.registers[kStatus] = 0x08;
  set_bit(port, kStatus, 6);
  EXPECT_EQ(port.registers[kStatus], 0x08) << "a port that takes no writes keeps its value";
  EXPECT_EQ(get_bit(port, kStatus, 3), 1);
}

TEST_F(PortOps, BitNumbersBeyondSevenTouchNoPort) {
  port.registers[kData] = 0xFF;
  for (uint32_t bit : {8u, 200u, 0xFFFFFFFFu}) {
    set_bit(port, kData, bit);
    clear_bit(port, kData, bit);
    toggle_bit(port, kData, bit);
    EXPECT_EQ(get_bit(port, kData, bit), 0);
  }
  EXPECT_EQ(port.log, Log{});
}

TEST_F(PortOps, ShiftsBringInABitAndGiveTheOneShiftedOut) {
  port.registers[kData] = 0x81;
  EXPECT_EQ(shift_right(port, kData, 0), 1);
  EXPECT_EQ(port.registers[kData], 0x40);
  EXPECT_EQ(shift_right(port, kData, 1), 0);
  EXPECT_EQ(port.registers[kData], 0xA0);
  EXPECT_EQ(shift_left(port, kData, 3), 1) << "only bit 0 of the incoming value counts";
  EXPECT_EQ(port.registers[kData], 0x41);
  EXPECT_EQ(shift_left(port, kData, 0x7FFFFFFE), 0);
  EXPECT_EQ(port.registers[kData], 0x82);
}

}  // namespace
