// The lift's two port operations: register traffic of leedigital and encender, and
// their sequences kept whole when two threads use the board at once.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "lift_fixture.h"

namespace {

using PortTest = LiftTest;

TEST_F(PortTest, AllStatusLinesLowReadAsEveryInputOn) {
  ScriptStatus(3, {0x87});
  ScriptStatus(1, {0x87});
  int32_t low = -1, high = -1;
  EXPECT_EQ(leedigital(&low, &high), 255);
  EXPECT_EQ(low, 15);
  EXPECT_EQ(high, 15);
  EXPECT_EQ(recorder_.log(), (std::vector<PortAccess>{Out(kControlPort, 3), In(kStatusPort, 0x87),
                                                      Out(kControlPort, 1), In(kStatusPort, 0x87)}));
}

TEST_F(PortTest, AllStatusLinesHighReadAsNoInput) {
  ScriptStatus(3, {0x78});
  ScriptStatus(1, {0x78});
  int32_t low = -1, high = -1;
  EXPECT_EQ(leedigital(&low, &high), 0);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 0);
}

TEST_F(PortTest, FirstReadingIsTheLowGroup) {
  ScriptStatus(3, {0x70});
  ScriptStatus(1, {0x78});
  int32_t low = -1, high = -1;
  EXPECT_EQ(leedigital(&low, &high), 1);
  EXPECT_EQ(low, 1);
  EXPECT_EQ(high, 0);
}

TEST_F(PortTest, StatusBit6IsTheTopInputOfEachGroup) {
  ScriptStatus(3, {0x38});  // bit 6 low: input 4
  ScriptStatus(1, {0x38});  // input 8
  int32_t low = -1, high = -1;
  EXPECT_EQ(leedigital(&low, &high), 0x88);
  EXPECT_EQ(low, 8);
  EXPECT_EQ(high, 8);
}

TEST_F(PortTest, ReadsWithoutPlacesForTheGroups) {
  ScriptStatus(3, {StatusFor(4)});
  ScriptStatus(1, {StatusFor(2)});
  EXPECT_EQ(leedigital(nullptr, nullptr), 0x24);
}

TEST_F(PortTest, MotorByteGoesAfterControlSeven) {
  encender(2);
  encender(0x1FF);  // only the low eight bits reach the board
  EXPECT_EQ(recorder_.log(), (std::vector<PortAccess>{Out(kControlPort, 7), Out(kDataPort, 2),
                                                      Out(kControlPort, 7), Out(kDataPort, 0xFF)}));
}

// A stop from the GUI thread must never land inside the controller's read sequence or
// split a motor write.
TEST_F(PortTest, SequencesStayWholeUnderTwoThreads) {
  // Both threads keep going for a while once both run, so that they overlap even on a
  // busy machine.
  constexpr auto kOverlap = std::chrono::milliseconds(300);
  std::atomic<int> running{0};
  std::atomic<int> read_rounds{0}, write_rounds{0};
  auto hammer = [&](auto operation, std::atomic<int>& rounds) {
    ++running;
    while (running < 2) {
    }
    const auto until = std::chrono::steady_clock::now() + kOverlap;
    while (std::chrono::steady_clock::now() < until) {
      operation();
      ++rounds;
    }
  };
  std::thread reader(hammer, [] { leedigital(nullptr, nullptr); }, std::ref(read_rounds));
  std::thread stopper(hammer, [] { encender(0); }, std::ref(write_rounds));
  reader.join();
  stopper.join();

  const std::vector<PortAccess> log = recorder_.log();
  ASSERT_EQ(log.size(), static_cast<size_t>(read_rounds) * 4 + static_cast<size_t>(write_rounds) * 2);
  size_t reads = 0, writes = 0;
  for (size_t i = 0; i < log.size();) {
    if (log[i] == Out(kControlPort, 3)) {
      ASSERT_LE(i + 4, log.size());
      EXPECT_EQ(log[i + 1].port, kStatusPort) << "at " << i;
      EXPECT_EQ(log[i + 2], Out(kControlPort, 1)) << "at " << i;
      EXPECT_EQ(log[i + 3].port, kStatusPort) << "at " << i;
      i += 4;
      ++reads;
    } else {
      ASSERT_EQ(log[i], Out(kControlPort, 7)) << "at " << i;
      ASSERT_LE(i + 2, log.size());
      EXPECT_EQ(log[i + 1], Out(kDataPort, 0)) << "at " << i;
      i += 2;
      ++writes;
    }
    if (HasFailure()) break;
  }
  EXPECT_EQ(reads, static_cast<size_t>(read_rounds));
  EXPECT_EQ(writes, static_cast<size_t>(write_rounds));
}

}  // namespace
