// Binding a driver that offers PortOut and PortIn only.
#include <gtest/gtest.h>

#include "board/io.h"

namespace {

TEST(BindingTwoNameDriver, SucceedsWithElevenNullEntryPoints) {
  ASSERT_EQ(LoadIODLL(), 0);
  EXPECT_NE(hio, nullptr);
  EXPECT_NE(PortOut, nullptr);
  EXPECT_NE(PortIn, nullptr);
  EXPECT_EQ(PortWordOut, nullptr);
  EXPECT_EQ(PortDWordOut, nullptr);
  EXPECT_EQ(PortWordIn, nullptr);
  EXPECT_EQ(PortDWordIn, nullptr);
  EXPECT_EQ(SetPortBit, nullptr);
  EXPECT_EQ(ClrPortBit, nullptr);
  EXPECT_EQ(NotPortBit, nullptr);
  EXPECT_EQ(GetPortBit, nullptr);
  EXPECT_EQ(RightPortShift, nullptr);
  EXPECT_EQ(LeftPortShift, nullptr);
  EXPECT_EQ(IsDriverInstalled, nullptr);
}

TEST(BindingTwoNameDriver, PortsWorkThroughTheTwoNames) {
  LoadIODLL();
  escribe_puerto(REGISTRO_DATOS, 0x5A);
  EXPECT_EQ(lee_puerto(REGISTRO_ESTADO), 0x5A);
}

}  // namespace
