// The parallel-port driver, selected through the loader path, binds like any "io".
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

#include "board/io.h"

namespace {

template <typename T>
void* address(T f) {
  return reinterpret_cast<void*>(f);
}

TEST(ParportBinding, LoadsFromItsFolderAndResolvesAllThirteenNames) {
  ASSERT_EQ(LoadIODLL(), 0);
  for (void* p : {address(PortOut), address(PortWordOut), address(PortDWordOut), address(PortIn),
                  address(PortWordIn), address(PortDWordIn), address(SetPortBit),
                  address(ClrPortBit), address(NotPortBit), address(GetPortBit),
                  address(RightPortShift), address(LeftPortShift), address(IsDriverInstalled)})
    EXPECT_NE(p, nullptr);
  Dl_info info{};
  ASSERT_NE(dladdr(address(PortOut), &info), 0);
  EXPECT_TRUE(std::string(info.dli_fname).ends_with("drivers/parport/io.so")) << info.dli_fname;
}

}  // namespace
