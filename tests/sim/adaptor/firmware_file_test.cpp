// Firmware files that are not what the emulated chip runs are refused with a reason.
#include "firmware_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "emulated_adaptor.h"

namespace {

class NoWiring : public placasim::AdaptorWiring {
 public:
  void write(int, uint8_t) override {}
  uint8_t status() override { return 0; }
};

std::string scratch(const std::string& name, const std::string& contents) {
  const std::string path = ::testing::TempDir() + "firmware_file_test_" + std::to_string(getpid()) + "_" + name;
  std::ofstream(path, std::ios::binary) << contents;
  return path;
}

std::string contents_of(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string refusal(const std::string& path) {
  NoWiring wiring;
  std::string error;
  auto adaptor = placasim::EmulatedAdaptor::start(path, wiring, &error);
  EXPECT_FALSE(adaptor) << path;
  return error;
}

TEST(FirmwareFile, MissingOrNotAFirmware) {
  EXPECT_NE(refusal("/nonexistent/adaptor.hex").find("cannot read the firmware /nonexistent/adaptor.hex"),
            std::string::npos);
  const std::string text = scratch("notes.txt", "flash me\n");
  EXPECT_NE(refusal(text).find("is not a firmware"), std::string::npos);
  const std::string empty = scratch("empty.hex", "");
  EXPECT_NE(refusal(empty).find("is not a firmware"), std::string::npos);
}

TEST(FirmwareFile, ElfFilesOfOtherProcessorsAndChips) {
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  EXPECT_NE(refusal(self).find("not a firmware for an AVR chip"), std::string::npos);

  // The real firmware, marked as built for the ATmega2560's instruction set (avr6).
  std::string elf = contents_of(ADAPTOR_ELF);
  ASSERT_GT(elf.size(), 52u);
  elf[36] = static_cast<char>((elf[36] & 0x80) | 6);
  EXPECT_NE(refusal(scratch("avr6.elf", elf)).find("another AVR chip"), std::string::npos);

  const std::string cut = contents_of(ADAPTOR_ELF).substr(0, 200);
  EXPECT_NE(refusal(scratch("cut.elf", cut)).find("holds no program"), std::string::npos);
}

TEST(FirmwareFile, BrokenHexFiles) {
  const std::string hex = contents_of(ADAPTOR_HEX);
  ASSERT_NE(hex.find(":00000001FF"), std::string::npos);
  const std::size_t line_end = hex.find('\n', hex.size() / 2) + 1;
  EXPECT_NE(refusal(scratch("cut.hex", hex.substr(0, line_end))).find("cut short"), std::string::npos);
  EXPECT_NE(refusal(scratch("mid.hex", hex.substr(0, line_end + 7))).find("not an Intel HEX record"),
            std::string::npos);

  std::string wrong_sum = hex;
  wrong_sum[9] = wrong_sum[9] == '0' ? '1' : '0';  // the first record's first data digit
  EXPECT_NE(refusal(scratch("sum.hex", wrong_sum)).find("line 1: wrong checksum"), std::string::npos);
}

TEST(FirmwareFile, IntelHexRecords) {
  std::vector<uint8_t> image;
  std::string error;
  // Two bytes at 0x0010, then the end.
  ASSERT_TRUE(placasim::parse_intel_hex(":020010000C944E\r\n:00000001FF\n", 32768, &image, &error)) << error;
  ASSERT_EQ(image.size(), 0x12u);
  EXPECT_EQ(image[0x00], 0xFF);  // unwritten flash
  EXPECT_EQ(image[0x10], 0x0C);
  EXPECT_EQ(image[0x11], 0x94);

  // An extended linear address puts the data at 64 KB, beyond this chip's flash.
  EXPECT_FALSE(placasim::parse_intel_hex(":020000040001F9\n:020000000C945E\n:00000001FF\n", 32768, &image, &error));
  EXPECT_NE(error.find("line 2: data beyond"), std::string::npos) << error;
  EXPECT_FALSE(placasim::parse_intel_hex(":00000001FF\n", 32768, &image, &error));
  EXPECT_NE(error.find("no program"), std::string::npos) << error;
  EXPECT_FALSE(placasim::parse_intel_hex(":0200100G0C944E\n", 32768, &image, &error));
  EXPECT_NE(error.find("line 1: not an Intel HEX record"), std::string::npos) << error;
  EXPECT_FALSE(placasim::parse_intel_hex(":05001000\n", 32768, &image, &error));
  EXPECT_NE(error.find("line 1: not an Intel HEX record"), std::string::npos) << error;
}

}  // namespace
