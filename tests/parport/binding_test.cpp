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
#define EXPECT_RESOLVED(name, result, parameters) EXPECT_NE(address(name), nullptr) << #name;
  IO_ENTRY_POINTS(EXPECT_RESOLVED)
#undef EXPECT_RESOLVED
  Dl_info info{};
  ASSERT_NE(dladdr(address(PortOut), &info), 0);
  EXPECT_TRUE(std::string(info.dli_fname).ends_with("drivers/parport/io.so")) << info.dli_fname;
}

}  // namespace
