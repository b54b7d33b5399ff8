// The board protocol through the real library: libplacaio.so (placaio.dll) loads this
// io.so (io.dll) and its primitives see what the simulated board holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "shared_board.h"
#include "simulated_board/os_helpers.h"
#include "win32.h"

namespace {

const std::string kBoard = "placasim-test-library-" + std::to_string(simtest::process_id());

class ThroughLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    simtest::set_env(sim::kBoardEnv, kBoard.c_str());
    library = LoadLibraryA(PLACAIO_LIBRARY);
  }
  static void TearDownTestSuite() { sim::SharedBoard::remove(kBoard); }
  void SetUp() override {
    ASSERT_NE(library, nullptr) << PLACAIO_LIBRARY;
    std::string error;
    watch = sim::SharedBoard::open(kBoard, &error);
    ASSERT_NE(watch, nullptr) << error;
    watch->with([](sim::BoardState& s) { sim::board_reset(s, sim::monotonic_ns()); });
  }
  template <typename F>
  F get(const char* name) {
    auto f = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }
  sim::BoardState seen() {
    return watch->with([](sim::BoardState& s) { return s; });
  }
  static inline HMODULE library = nullptr;
  std::unique_ptr<sim::SharedBoard> watch;
};

TEST_F(ThroughLibrary, SalidaSetsTheOutputs) {
  auto* salida = get<void(WINAPI*)(int32_t)>("SALIDA");
  ASSERT_NE(salida, nullptr);
  salida(0x5A);
  EXPECT_EQ(seen().outputs, 0x5A);
  salida(300);  // out of range: nothing
  EXPECT_EQ(seen().outputs, 0x5A);
  salida(0);
  EXPECT_EQ(seen().outputs, 0);
}

TEST_F(ThroughLibrary, VeIntSeesPressedInputsAndTheFloorSensor) {
  auto* ve_int = get<int32_t(WINAPI*)()>("VE_INT");
  ASSERT_NE(ve_int, nullptr);
  EXPECT_EQ(ve_int(), 0x08) << "cabin at floor 1";
  watch->with([](sim::BoardState& s) {
    sim::board_hold_input(s, 3, true);
    sim::board_hold_input(s, 8, true);
  });
  EXPECT_EQ(ve_int(), 0x08 | 0x04 | 0x80);
}

TEST_F(ThroughLibrary, AnalogPrimitivesSeeTheAnalogValues) {
  watch->with([](sim::BoardState& s) {
    sim::board_set_analog(s, 1, 51);
    sim::board_set_analog(s, 2, 52);
    sim::board_set_analog(s, 3, 204);
    sim::board_set_analog(s, 4, 255);
  });
  const char* names[] = {"SAW", "SAX", "SAY", "SAZ"};
  const int32_t volts[] = {0, 1, 3, 4};
  for (int i = 0; i < 4; ++i) {
    auto* sa = get<int32_t(WINAPI*)()>(names[i]);
    ASSERT_NE(sa, nullptr);
    EXPECT_EQ(sa(), volts[i]) << names[i];
  }
  auto* lee = get<int32_t(WINAPI*)(int32_t)>("leeanalogica");
  ASSERT_NE(lee, nullptr);
  EXPECT_EQ(lee(1), 51);
  EXPECT_EQ(lee(2), 52);
  EXPECT_EQ(lee(3), 51) << "mask 3 selects input 1";
  EXPECT_EQ(lee(4), 204) << "mask 4 is input 3";
  EXPECT_EQ(lee(5), 0);
}

}  // namespace
