// Binding when no port driver can be found.
#include <gtest/gtest.h>

#include <cstdlib>

#include "board/io.h"

namespace {

TEST(BindingWithoutDriver, FailsOnEveryCallAndLeavesEverythingNull) {
  for (int i = 0; i < 100; ++i) ASSERT_EQ(LoadIODLL(), 1);
  EXPECT_EQ(hio, nullptr);
#define EXPECT_UNBOUND(name, result, parameters) EXPECT_EQ(name, nullptr) << #name;
  IO_ENTRY_POINTS(EXPECT_UNBOUND)
#undef EXPECT_UNBOUND
  EXPECT_EQ(registros_de_salida.load(), 0);
}

TEST(BindingWithoutDriver, PortAccessDoesNothingAndReadsEveryInputOff) {
  LoadIODLL();
  escribe_puerto(REGISTRO_CONTROL, 7);
  escribe_puerto(REGISTRO_DATOS, 255);
  EXPECT_EQ(lee_puerto(REGISTRO_ESTADO), 0x78);
}

TEST(BindingWithoutDriver, ReleaseAfterAFailedAttemptDoesNothing) {
  LoadIODLL();
  ASSERT_EQ(hio, nullptr);
  UnloadIODLL();
  EXPECT_EXIT(
      {
        LoadIODLL();
        UnloadIODLL();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
