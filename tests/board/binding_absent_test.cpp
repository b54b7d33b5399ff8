// Binding when no port driver can be found.
#include <gtest/gtest.h>

#include <cstdlib>

#include "board/io.h"

namespace {

TEST(BindingWithoutDriver, FailsOnEveryCallAndLeavesEverythingNull) {
  for (int i = 0; i < 100; ++i) ASSERT_EQ(LoadIODLL(), 1);
  EXPECT_EQ(hio, nullptr);
  EXPECT_EQ(PortOut, nullptr);
  EXPECT_EQ(PortIn, nullptr);
  EXPECT_EQ(IsDriverInstalled, nullptr);
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
