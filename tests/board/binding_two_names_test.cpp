// Binding a driver that offers PortOut and PortIn only.
#include <gtest/gtest.h>

#include "board/io.h"

namespace {

TEST(BindingTwoNameDriver, SucceedsWithElevenNullEntryPoints) {
  ASSERT_EQ(LoadIODLL(), 0);
  EXPECT_NE(hio, nullptr);
  EXPECT_NE(PortOut, nullptr);
  EXPECT_NE(PortIn, nullptr);
  int nulls = 0;
#define COUNT_NULL(name, result, parameters) nulls += name == nullptr;
  IO_ENTRY_POINTS(COUNT_NULL)
#undef COUNT_NULL
  EXPECT_EQ(nulls, 11);
}

TEST(BindingTwoNameDriver, PortsWorkThroughTheTwoNames) {
  LoadIODLL();
  escribe_puerto(REGISTRO_DATOS, 0x5A);
  EXPECT_EQ(lee_puerto(REGISTRO_ESTADO), 0x5A);
}

}  // namespace
