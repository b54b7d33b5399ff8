// The adaptor driver's logic against fake serial ports and a clock the tests move.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <thread>

#include "adaptor.h"
#include "adaptor_model.h"
#include "firmware/placaio_adaptor/protocol.h"
#include "port_ops.h"

namespace {

using namespace std::chrono_literals;
using serial::Clock;
using serial::milliseconds;

constexpr int64_t kData = 888, kStatus = 889, kControl = 890;

// The far end of a port: an adaptor, or something else, as each test sets it up.
struct FakePort {
  AdaptorModel model;
  bool silent = false;          // no answer at all
  std::string foreign;          // answers anything with this text
  Clock::time_point ready_at;   // before it the bootloader eats every byte
  int lose_answers = 0;         // answer bytes that never arrive
  bool vanished = false;
  std::vector<uint8_t> sent;    // every byte the driver sent
  std::vector<uint8_t> inbox;   // bytes on their way to the driver
  int sends = 0;
  enum { kOpen, kRestored, kRestoredKeepingDtr } left = kOpen;
  // A Uno: an open that raises DTR resets it into its bootloader for `boot`.
  bool resets_on_open = false;
  bool dtr_up = false;
  milliseconds boot{400};
  int resets = 0;
};

class FakeSystem;

class FakeLink final : public serial::Link {
 public:
  FakeLink(FakeSystem& system, std::shared_ptr<FakePort> port) : system_(system), port_(std::move(port)) {}
  bool send(const uint8_t* data, size_t size, milliseconds) override;
  long receive(uint8_t* data, size_t size, milliseconds timeout) override;
  void drop_input() override { port_->inbox.clear(); }
  void restore(bool keep_dtr) override {
    port_->left = keep_dtr ? FakePort::kRestoredKeepingDtr : FakePort::kRestored;
    port_->dtr_up = keep_dtr;
  }
  std::string error() const override { return "the device is gone"; }

 private:
  FakeSystem& system_;
  std::shared_ptr<FakePort> port_;
};

class FakeSystem final : public serial::System {
 public:
  serial::Opened open(const std::string& name) override {
    ++opens;
    const auto found = ports.find(name);
    if (found == ports.end() || found->second->vanished) return {nullptr, name + " does not exist", true};
    FakePort& port = *found->second;
    port.left = FakePort::kOpen;
    if (port.resets_on_open && !port.dtr_up) {
      port.ready_at = clock + port.boot;
      ++port.resets;
    }
    port.dtr_up = true;  // the driver's open raises it and clears HUPCL
    return {std::make_unique<FakeLink>(*this, found->second), {}, false};
  }
  std::optional<std::string> configured() override { return named; }
  std::vector<std::string> candidates() override { return likely; }
  std::string candidate_pattern() override { return "/dev/ttyACM*"; }
  Clock::time_point now() override { return clock; }
  void warn(const std::string& line) override { warnings.push_back(line); }

  std::shared_ptr<FakePort> add(const std::string& name) {
    auto port = std::make_shared<FakePort>();
    port->ready_at = clock;
    ports[name] = port;
    likely.push_back(name);
    return port;
  }

  std::map<std::string, std::shared_ptr<FakePort>> ports;
  std::optional<std::string> named;
  std::vector<std::string> likely;
  Clock::time_point clock{1h};
  std::vector<std::string> warnings;
  int opens = 0;
};

bool FakeLink::send(const uint8_t* data, size_t size, milliseconds) {
  if (port_->vanished) return false;
  ++port_->sends;
  for (size_t i = 0; i < size; ++i) {
    port_->sent.push_back(data[i]);
    if (port_->silent || system_.clock < port_->ready_at) continue;
    if (!port_->foreign.empty()) {
      port_->inbox.insert(port_->inbox.end(), port_->foreign.begin(), port_->foreign.end());
      continue;
    }
    std::vector<uint8_t> answer;
    port_->model.take(data[i], answer);
    for (uint8_t byte : answer) {
      if (port_->lose_answers > 0)
        --port_->lose_answers;
      else
        port_->inbox.push_back(byte);
    }
  }
  return true;
}

long FakeLink::receive(uint8_t* data, size_t size, milliseconds timeout) {
  if (port_->vanished) return -1;
  if (port_->inbox.empty()) {
    system_.clock += timeout;  // waited it out
    return 0;
  }
  const size_t n = std::min(size, port_->inbox.size());
  std::copy_n(port_->inbox.begin(), n, data);
  port_->inbox.erase(port_->inbox.begin(), port_->inbox.begin() + static_cast<long>(n));
  return static_cast<long>(n);
}

class Adaptor : public ::testing::Test {
 protected:
  int warned(const std::string& text) {
    int n = 0;
    for (const std::string& w : system.warnings) n += w.find(text) != std::string::npos;
    return n;
  }
  // Only identify requests reached the port.
  static bool only_identified(const FakePort& port) {
    for (uint8_t byte : port.sent)
      if (byte != ADAPTOR_IDENTIFY) return false;
    return !port.sent.empty();
  }

  FakeSystem system;
  serial::Adaptor adaptor{system};
};

// ---- Finding the adaptor ----

using Finding = Adaptor;

TEST_F(Finding, NamedPortIsTheOneUsed) {
  auto named = system.add("/dev/ttyUSB3");
  auto other = system.add("/dev/ttyACM0");
  system.named = "/dev/ttyUSB3";
  adaptor.write(kData, 0x42);
  EXPECT_EQ(named->model.data, 0x42);
  EXPECT_EQ(named->model.writes, 1);
  EXPECT_TRUE(other->sent.empty());
  EXPECT_EQ(adaptor.port(), "/dev/ttyUSB3");
  EXPECT_TRUE(adaptor.installed());
  EXPECT_TRUE(system.warnings.empty());
}

TEST_F(Finding, ScanLeavesPortsThatAreNotTheAdaptorAlone) {
  auto modem = system.add("/dev/ttyACM0");
  modem->foreign = "OK\r\n";
  auto quiet = system.add("/dev/ttyACM1");
  quiet->silent = true;
  auto real = system.add("/dev/ttyUSB0");
  adaptor.write(kData, 7);
  EXPECT_EQ(real->model.data, 7);
  EXPECT_EQ(adaptor.port(), "/dev/ttyUSB0");
  for (const auto& port : {modem, quiet}) EXPECT_TRUE(only_identified(*port));
  EXPECT_EQ(modem->left, FakePort::kRestored);
  // Silent may be an adaptor starting: dropping DTR would reset it at the next open.
  EXPECT_EQ(quiet->left, FakePort::kRestoredKeepingDtr);
  EXPECT_EQ(real->left, FakePort::kOpen);
}

TEST_F(Finding, SignatureWithTheRightLengthButWrongBytesIsNotTheAdaptor) {
  auto port = system.add("/dev/ttyACM0");
  port->model.signature = "PLACB";
  EXPECT_FALSE(adaptor.installed());
  EXPECT_TRUE(only_identified(*port));
  EXPECT_EQ(warned("/dev/ttyACM0 answered as something other than the adaptor"), 1);
}

TEST_F(Finding, OtherProtocolVersionIsRefusedNamingBoth) {
  auto port = system.add("/dev/ttyACM0");
  port->model.version = ADAPTOR_PROTOCOL_VERSION + 1;
  adaptor.write(kData, 1);
  EXPECT_FALSE(adaptor.installed());
  EXPECT_TRUE(only_identified(*port));
  EXPECT_EQ(warned("speaks protocol version " + std::to_string(ADAPTOR_PROTOCOL_VERSION + 1) +
                   ", this driver version " + std::to_string(ADAPTOR_PROTOCOL_VERSION)),
            1);
  EXPECT_EQ(system.warnings.size(), 1u);
}

TEST_F(Finding, WaitsOutTheBootloaderOfAPortJustOpened) {
  auto uno = system.add("/dev/ttyACM0");
  uno->ready_at = system.clock + 1800ms;
  EXPECT_TRUE(adaptor.installed());
  EXPECT_GE(uno->model.identifies, 1);
  EXPECT_GT(std::count(uno->sent.begin(), uno->sent.end(), ADAPTOR_IDENTIFY), 10);
  EXPECT_TRUE(system.warnings.empty());
}

TEST_F(Finding, GivesUpOnASilentPortAfterTheBootWindow) {
  auto port = system.add("/dev/ttyACM0");
  port->silent = true;
  const Clock::time_point start = system.clock;
  EXPECT_FALSE(adaptor.installed());
  EXPECT_GE(system.clock - start, serial::Timing{}.boot_window);
  EXPECT_LT(system.clock - start, serial::Timing{}.boot_window + 500ms);
  EXPECT_EQ(warned("/dev/ttyACM0 did not answer"), 1);
  EXPECT_EQ(adaptor.read(kStatus), serial::kIdleStatus);
}

TEST_F(Finding, WritesMadeBeforeTheAdaptorFirstAnswersReachItWhenItDoes) {
  adaptor.write(kData, 0x0F);  // nothing there yet
  adaptor.write(kControl, 0x02);
  auto port = system.add("/dev/ttyACM0");
  port->model.data = 0xEE;  // held from a program before
  system.clock += 1s;
  EXPECT_EQ(adaptor.read(kStatus), 0);
  EXPECT_EQ(port->model.data, 0x0F);
  EXPECT_EQ(port->model.control, 0x02);
  EXPECT_EQ(port->model.writes, 2);
}

TEST_F(Finding, NoPortAtAllSaysWhereItLookedAndHowToNameOne) {
  EXPECT_FALSE(adaptor.installed());
  ASSERT_EQ(system.warnings.size(), 1u);
  EXPECT_NE(system.warnings[0].find("io (serial adaptor): no adaptor found: there is no /dev/ttyACM*"),
            std::string::npos);
  EXPECT_NE(system.warnings[0].find("PLACAIO_SERIAL"), std::string::npos);
}

// ---- The registers over the adaptor ----

class Registers : public Adaptor {
 protected:
  void SetUp() override {
    port = system.add("/dev/ttyACM0");
    ASSERT_TRUE(adaptor.installed());
    port->sent.clear();
    port->sends = 0;
  }
  std::shared_ptr<FakePort> port;
};

TEST_F(Registers, TheFirstPortsThreeAddressesReachTheAdaptorsRegisters) {
  port->model.status = 0xA8;
  adaptor.write(kData, 0xC3);
  adaptor.write(kControl, 0x05);
  EXPECT_EQ(port->model.data, 0xC3);
  EXPECT_EQ(port->model.control, 0x05);
  EXPECT_EQ(adaptor.read(kStatus), 0xA8);
  EXPECT_EQ(adaptor.read(kData), 0xC3);
  EXPECT_EQ(adaptor.read(kControl), 0x05);
}

TEST_F(Registers, OtherAddressesAndTheStatusWriteStayOffTheWire) {
  adaptor.write(kData - 1, 1);
  adaptor.write(kControl + 1, 1);
  adaptor.write(kStatus, 1);
  adaptor.write(0x100000000LL + kData, 1);
  EXPECT_EQ(adaptor.read(kData - 1), serial::kNoPortRead);
  EXPECT_EQ(adaptor.read(kControl + 1), serial::kNoPortRead);
  EXPECT_TRUE(port->sent.empty());
}

TEST_F(Registers, WordsAndBitsWorkOverTheAdaptor) {
  port->model.status = 0x40;
  adaptor.locked([](port_ops::Bytes& b) { port_ops::write_word(b, kData, 0x0A5A); });
  EXPECT_EQ(port->model.data, 0x5A);  // the high byte fell on the read-only status
  adaptor.locked([](port_ops::Bytes& b) { port_ops::set_bit(b, kControl, 3); });
  EXPECT_EQ(port->model.control, 0x08);
  int32_t bit = -1;
  adaptor.locked([&](port_ops::Bytes& b) { bit = port_ops::get_bit(b, kStatus, 6); });
  EXPECT_EQ(bit, 1);
  uint16_t word = 0;
  adaptor.locked([&](port_ops::Bytes& b) { word = port_ops::read_word(b, kData); });
  EXPECT_EQ(word, 0x405A);
}

TEST_F(Registers, WritesOfOneOperationLeaveInOneSendAndWithTheNextRead) {
  adaptor.locked([](port_ops::Bytes& b) {
    b.write(kData, 1);
    b.write(kControl, 2);
  });
  EXPECT_EQ(port->sends, 1);
  adaptor.locked([](port_ops::Bytes& b) {
    b.write(kData, 3);
    b.read(kStatus);
  });
  EXPECT_EQ(port->sends, 2);
  EXPECT_EQ(port->model.data, 3);
}

// A program writing faster than the adaptor takes the bytes must not queue up more
// than a read can wait behind: a long stream of writes has the adaptor answer for
// them every so often.
TEST_F(Registers, AStreamOfWritesIsAnsweredForEverySoOften) {
  for (int i = 0; i < 1000; ++i) adaptor.write(kData, static_cast<uint8_t>(i));
  EXPECT_EQ(adaptor.read(kData), static_cast<uint8_t>(999));
  size_t unanswered = 0, most = 0;
  int reads = 0;
  for (uint8_t byte : port->sent) {
    const bool read = byte >= ADAPTOR_READ && byte <= ADAPTOR_READ_LAST;
    reads += read;
    unanswered = read ? 0 : unanswered + 1;
    most = std::max(most, unanswered);
  }
  EXPECT_LE(most, 256u);
  EXPECT_LE(reads, 9) << "one read per 256 bytes, not one per write";
  EXPECT_EQ(warned("lost"), 0);
}

TEST_F(Registers, OperationsFromManyThreadsKeepTheirFramesWhole) {
  port->model.status = 0x78;
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        adaptor.locked([&](port_ops::Bytes& b) { port_ops::write_word(b, kData, static_cast<uint16_t>(t * 50 + i)); });
        if (adaptor.read(kStatus) != 0x78) ++wrong;
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(port->model.broken_frames, 0);
  EXPECT_TRUE(system.warnings.empty());
}

// ---- Faults: the port stays usable as an idle one ----

using Faults = Registers;

TEST_F(Faults, BytesNobodyAskedForAreDroppedBeforeARead) {
  port->model.status = 0x30;
  port->inbox = {0x11, 0x22, 0x33};
  EXPECT_EQ(adaptor.read(kStatus), 0x30);
  EXPECT_TRUE(system.warnings.empty());
}

TEST_F(Faults, ALostAnswerMakesAnIdlePortWithOneMessage) {
  port->model.status = 0x00;
  port->lose_answers = 1;
  EXPECT_EQ(adaptor.read(kStatus), serial::kIdleStatus);
  EXPECT_EQ(adaptor.read(kStatus), serial::kIdleStatus);
  EXPECT_EQ(adaptor.read(kData), serial::kIdleRegister);
  adaptor.write(kData, 9);
  EXPECT_FALSE(adaptor.installed());
  ASSERT_EQ(system.warnings.size(), 1u);
  EXPECT_NE(system.warnings[0].find("lost the adaptor on /dev/ttyACM0 (no answer to a read within 100 ms)"),
            std::string::npos);
  EXPECT_EQ(port->model.reads, 1);
}

TEST_F(Faults, ALostRequestByteIsALostAnswerToo) {
  port->silent = true;  // the read request never reaches the firmware
  EXPECT_EQ(adaptor.read(kStatus), serial::kIdleStatus);
  EXPECT_EQ(warned("no answer to a read"), 1);
  port->silent = false;
  system.clock += 1s;
  port->model.status = 0x08;
  EXPECT_EQ(adaptor.read(kStatus), 0x08);
  EXPECT_EQ(warned("the adaptor answers on /dev/ttyACM0"), 1);
}

TEST_F(Faults, AVanishedPortIsTriedAgainOnceASecondAndGetsTheMissedWrites) {
  adaptor.write(kData, 0x11);
  adaptor.write(kControl, 0x04);
  port->vanished = true;
  adaptor.write(kData, 0x22);
  EXPECT_EQ(adaptor.read(kStatus), serial::kIdleStatus);
  EXPECT_EQ(warned("lost the adaptor on /dev/ttyACM0"), 1);
  const int opens = system.opens;
  system.clock += 900ms;
  adaptor.write(kData, 0x33);  // while idle: goes nowhere, and is remembered
  EXPECT_EQ(system.opens, opens);

  // Back as a fresh adaptor, as after being plugged in again.
  port->vanished = false;
  port->model = AdaptorModel();
  system.clock += 100ms;
  EXPECT_TRUE(adaptor.installed());
  EXPECT_EQ(port->model.data, 0x33);
  EXPECT_EQ(port->model.control, 0x04);
  EXPECT_EQ(system.warnings.size(), 2u);
}

TEST_F(Faults, AUnoPluggedInAgainIsFoundThoughItsFirstOpenResetsIt) {
  port->vanished = true;
  adaptor.write(kData, 0x21);
  port->vanished = false;
  port->model = AdaptorModel();
  port->resets_on_open = true;
  port->dtr_up = false;  // a new device
  for (int i = 0; i < 40 && !adaptor.installed(); ++i) system.clock += 100ms;
  EXPECT_EQ(adaptor.port(), "/dev/ttyACM0");
  EXPECT_EQ(port->resets, 1);
  EXPECT_EQ(port->model.data, 0x21);
}

TEST_F(Faults, AnAdaptorThatStaysAwayCostsOneAttemptASecondAndOneMessage) {
  port->vanished = true;
  adaptor.write(kData, 1);
  const int opens = system.opens;
  for (int i = 0; i < 500; ++i) {
    system.clock += 10ms;
    adaptor.read(kStatus);
  }
  EXPECT_GE(system.opens - opens, 4);
  EXPECT_LE(system.opens - opens, 5);
  EXPECT_EQ(system.warnings.size(), 1u);
}

TEST_F(Faults, AFindingAgainWaitsNoBootWindowForASilentPort) {
  port->vanished = true;
  adaptor.write(kData, 1);
  port->vanished = false;
  port->silent = true;
  system.clock += 1s;
  const Clock::time_point start = system.clock;
  EXPECT_FALSE(adaptor.installed());
  EXPECT_LE(system.clock - start, serial::Timing{}.identify_timeout);
}

}  // namespace
