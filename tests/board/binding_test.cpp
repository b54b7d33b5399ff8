// Binding the port driver with the recording driver beside the test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "board/io.h"
#include "recorder.h"

namespace {

FARPROC entry(const char* name) { return GetProcAddress(hio, name); }

template <typename T>
void* address(T f) {
  return reinterpret_cast<void*>(f);
}

TEST(BindingWithDriver, ResolvesAllThirteenNames) {
  ASSERT_EQ(LoadIODLL(), 0);
  ASSERT_NE(hio, nullptr);
#define EXPECT_RESOLVED(name, result, parameters)        \
  EXPECT_NE(address(name), nullptr) << #name;             \
  EXPECT_EQ(address(name), address(entry(#name))) << #name;
  IO_ENTRY_POINTS(EXPECT_RESOLVED)
#undef EXPECT_RESOLVED
}

TEST(BindingWithDriver, RepeatedBindingKeepsAddressesAndRegistersExitHandlerOnce) {
  ASSERT_EQ(LoadIODLL(), 0);
  const HMODULE first_handle = hio;
  void* const out = address(PortOut);
  void* const in = address(PortIn);
  void* const installed = address(IsDriverInstalled);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(LoadIODLL(), 0);
  EXPECT_EQ(hio, first_handle);
  EXPECT_EQ(address(PortOut), out);
  EXPECT_EQ(address(PortIn), in);
  EXPECT_EQ(address(IsDriverInstalled), installed);
  EXPECT_EQ(registros_de_salida.load(), 1);
}

TEST(BindingWithDriver, PortAccessReachesTheDriver) {
  Recorder recorder;
  ASSERT_TRUE(recorder.loaded());
  recorder.reset();
  recorder.script_status(3, {0x40});
  ASSERT_EQ(LoadIODLL(), 0);
  escribe_puerto(REGISTRO_CONTROL, 3);
  EXPECT_EQ(lee_puerto(REGISTRO_ESTADO), 0x40);
  escribe_puerto(REGISTRO_DATOS, 0x1FF);  // only the low byte reaches the port
  EXPECT_EQ(recorder.log(), (std::vector<PortAccess>{Out(890, 3), In(889, 0x40), Out(888, 0xFF)}));
}

TEST(BindingWithDriver, ReadsAreWidenedWithTheirSign) {
  Recorder recorder;
  recorder.reset();
  recorder.default_status(0x87);
  ASSERT_EQ(LoadIODLL(), 0);
  EXPECT_EQ(lee_puerto(REGISTRO_ESTADO), static_cast<int8_t>(0x87));
}

// The library stays loaded while the handle held for exit is released; the release
// at exit must not disturb a process that has freed its own loads.
TEST(BindingWithDriver, ExitReleasesTheDriverCleanly) {
  EXPECT_EXIT(
      {
        for (int i = 0; i < 10; ++i) LoadIODLL();
        std::exit(7);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace
