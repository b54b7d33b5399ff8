// placa's command line and number formats, without the board.
#include <gtest/gtest.h>

#include <limits>

#include "placa_cli.h"

namespace {

using namespace std::chrono_literals;

TEST(PlacaNumbers, DecimalHexAndBinary) {
  EXPECT_EQ(placa::parse_number("0"), 0);
  EXPECT_EQ(placa::parse_number("255"), 255);
  EXPECT_EQ(placa::parse_number("010"), 10) << "a leading zero is not octal";
  EXPECT_EQ(placa::parse_number("0x0F"), 15);
  EXPECT_EQ(placa::parse_number("0XfF"), 255);
  EXPECT_EQ(placa::parse_number("0b1010"), 10);
  EXPECT_EQ(placa::parse_number("0B1"), 1);
}

TEST(PlacaNumbers, RejectsWhatIsNotANumber) {
  for (const char* text : {"", "0x", "0b", "0b102", "0x1g", "12z", " 1", "1 ", "+1", "-1", "1.0", "x10"})
    EXPECT_FALSE(placa::parse_number(text).has_value()) << "'" << text << "'";
}

TEST(PlacaNumbers, HugeNumbersSaturateInsteadOfWrapping) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  EXPECT_EQ(placa::parse_number("99999999999999999999999"), kMax);
  EXPECT_EQ(placa::parse_number("0x10000000000000000"), kMax);
  EXPECT_EQ(placa::parse_number("18446744073709551617"), kMax) << "2^64 + 1 must not wrap to 1";
}

TEST(PlacaNumbers, SecondsWithAFraction) {
  EXPECT_EQ(placa::parse_seconds("2"), 2000ms);
  EXPECT_EQ(placa::parse_seconds("2.5"), 2500ms);
  EXPECT_EQ(placa::parse_seconds("0.05"), 50ms);
  EXPECT_EQ(placa::parse_seconds("0.0019"), 1ms) << "beyond milliseconds is dropped";
  EXPECT_EQ(placa::parse_seconds("0"), 0ms);
  EXPECT_EQ(placa::parse_seconds("1000000"), 1'000'000'000ms);
  for (const char* text : {"", ".5", "5.", "1e3", "-1", "1.2.3", "0x10", "1000000.001", "1000001",
                           "99999999999999999999999"})
    EXPECT_FALSE(placa::parse_seconds(text).has_value()) << "'" << text << "'";
}

TEST(PlacaArguments, CommandsAndTheirOperands) {
  auto parse = [](std::vector<std::string> args) -> std::optional<placa::Command> {
    placa::Command command;
    std::string error;
    if (!placa::parse_arguments(args, &command, &error)) return std::nullopt;
    return command;
  };

  auto c = parse({"motor", "3", "i"});
  ASSERT_TRUE(c);
  EXPECT_EQ(c->op, placa::Op::kMotor);
  EXPECT_EQ(c->number, 3);
  EXPECT_EQ(c->code, 'I') << "lower-case codes are taken as upper case";

  c = parse({"motores", "dPiP"});
  ASSERT_TRUE(c);
  EXPECT_EQ(std::string(c->codes.begin(), c->codes.end()), "DPIP");

  c = parse({"espera-off", "-t", "1.5", "7"});
  ASSERT_TRUE(c) << "the time-out may stand before the input";
  EXPECT_EQ(c->op, placa::Op::kEsperaOff);
  EXPECT_EQ(c->number, 7);
  EXPECT_EQ(c->timeout, 1500ms);

  c = parse({"espera-on", "2", "--timeout=0.25"});
  ASSERT_TRUE(c);
  EXPECT_EQ(c->timeout, 250ms);

  c = parse({"espera-on", "2"});
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->timeout.has_value()) << "no time-out unless asked for";

  c = parse({"salida", "0b11111111"});
  ASSERT_TRUE(c);
  EXPECT_EQ(c->number, 255);
}

TEST(PlacaArguments, ErrorsSayWhatIsWrong) {
  auto error = [](std::vector<std::string> args) {
    placa::Command command;
    std::string text;
    EXPECT_FALSE(placa::parse_arguments(args, &command, &text));
    return text;
  };
  EXPECT_EQ(error({"salida", "256"}), "salida: byte 256 is out of range (0..255)");
  EXPECT_EQ(error({"salida", "-1"}), "salida: byte -1 is out of range (0..255)");
  EXPECT_EQ(error({"conecta", "ocho"}),
            "conecta: output 'ocho' is not a number (decimal, 0x hex or 0b binary)");
  EXPECT_EQ(error({"motor", "1", "X"}), "motor: bad motor code 'X' (D, I or P)");
  EXPECT_EQ(error({"encender"}), "unknown command 'encender'");
  EXPECT_EQ(error({}), "no command given");
  EXPECT_EQ(error({"estado", "1"}), "estado takes no arguments");
  EXPECT_EQ(error({"espera-on"}), "espera-on: expected espera-on N [--timeout SECONDS]");
  EXPECT_EQ(error({"salida", "--force", "1"}), "salida: unknown option '--force'");
}

TEST(PlacaText, ByteInThreeBases) {
  EXPECT_EQ(placa::format_byte(0), "0 (0x00, 0b00000000)");
  EXPECT_EQ(placa::format_byte(129), "129 (0x81, 0b10000001)");
  EXPECT_EQ(placa::format_byte(255), "255 (0xFF, 0b11111111)");
}

TEST(PlacaText, HelpNamesEveryCommand) {
  const std::string help = placa::help_text();
  for (const char* name : {"salida", "conecta", "desconecta", "motor ", "motores", "estado", "entradas",
                           "analogicas", "espera-on", "espera-off", "--timeout", "vigila", "0x", "0b",
                           "output image of 0"})
    EXPECT_NE(help.find(name), std::string::npos) << name;
}

}  // namespace
