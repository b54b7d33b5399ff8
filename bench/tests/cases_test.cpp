// What the benchmarks rest on, checked against the recording driver: each bare
// sequence is the traffic of its primitive, skipping the binding leaves that traffic
// alone, and the link-time switches see what they are meant to see.
#include <gtest/gtest.h>

#include "binding_switch.h"
#include "board/io.h"
#include "board/placaio.h"
#include "driver.h"
#include "port_watch.h"
#include "primitive_cases.h"
#include "recorder.h"

namespace bench {
namespace {

class BenchCases : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Driver::current().recording()) << "runs beside the recording driver";
    ASSERT_TRUE(recorder_.loaded());
    set_binding(Binding::bind);
  }
  void TearDown() override { set_binding(Binding::bind); }

  std::vector<PortAccess> traffic_of(void (*prepare)(), void (*body)()) {
    prepare();
    recorder_.reset();
    body();
    return recorder_.log();
  }

  Recorder recorder_;
};

TEST_F(BenchCases, EachBareSequenceIsItsPrimitivesTraffic) {
  for (const PrimitiveCase& c : primitive_cases()) {
    const auto primitive = traffic_of(c.prepare, c.call);
    if (c.bare == nullptr) {
      EXPECT_TRUE(primitive.empty()) << c.name << " has traffic but no bare sequence";
      continue;
    }
    EXPECT_FALSE(primitive.empty()) << c.name;
    EXPECT_EQ(traffic_of(c.prepare, c.bare), primitive) << c.name;
    // The primitive leaves the image where its next call writes the same bytes again.
    recorder_.reset();
    c.call();
    EXPECT_EQ(recorder_.log(), primitive) << c.name << " does not repeat itself";
  }
}

TEST_F(BenchCases, SkippingTheBindingLeavesTheTrafficAlone) {
  for (const PrimitiveCase& c : primitive_cases()) {
    const auto bound = traffic_of(c.prepare, c.call);
    BindingScope skip(Binding::skip);
    EXPECT_EQ(traffic_of(c.prepare, c.call), bound) << c.name;
  }
}

TEST_F(BenchCases, SkippedBindingDoesNotLoad) {
  const HMODULE bound = hio;
  ASSERT_NE(bound, nullptr);
  {
    BindingScope skip(Binding::skip);
    hio = nullptr;
    EXPECT_EQ(LoadIODLL(), 0);
    SALIDA(1);
    EXPECT_EQ(hio, nullptr) << "a real bind ran";
  }
  EXPECT_EQ(LoadIODLL(), 0);
  EXPECT_EQ(hio, bound);
}

TEST_F(BenchCases, CountingSeesEveryNestedBind) {
  BindingScope counting(Binding::count);
  reset_bind_count();
  VE_INT();
  const uint64_t one_read = binds_counted();
  EXPECT_GE(one_read, 1u);
  SD_INT(std::array<int32_t, NUM_ENTRADAS>{}.data());
  EXPECT_GT(binds_counted() - one_read, one_read) << "SD_INT binds and reads through VE_INT";
  reset_bind_count();
  bind_for_real();
  EXPECT_EQ(binds_counted(), 0u) << "the bench's own bind is not counted";
}

TEST_F(BenchCases, WatchStampsDataRegisterWritesOnlyWhileOn) {
  const DataWrite start = last_data_write();
  SALIDA(9);
  EXPECT_EQ(last_data_write().count, start.count) << "not watching";
  watch_data_writes(true);
  SALIDA(5);
  const DataWrite stamped = last_data_write();
  EXPECT_EQ(stamped.count, start.count + 1) << "the control write is not a data write";
  EXPECT_EQ(stamped.value, 5);
  EXPECT_GT(stamped.ns, 0);
  watch_data_writes(false);
}

TEST_F(BenchCases, PresentedInputsAreWhatTheBoardReads) {
  for (int byte : {0, 1, 4, 8, 0x12, 0x80, 0xFF}) {
    Driver::current().present(static_cast<uint8_t>(byte));
    EXPECT_EQ(VE_INT(), byte);
    Driver::current().forget();
    EXPECT_EQ(VE_INT(), byte) << "forgetting the log keeps the inputs";
  }
  Driver::current().present(0);
}

}  // namespace
}  // namespace bench
