// The POSIX side of the Win32 kernel subset.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>

#include "win32.h"

namespace {

// A driver with no C++ runtime inside, so that nothing pins it once it is freed.
constexpr const char* kPlainDriver = "../two_names/io.so";

bool plain_driver_is_loaded() {
  void* probe = dlopen(kPlainDriver, RTLD_NOW | RTLD_NOLOAD);
  if (probe) dlclose(probe);
  return probe != nullptr;
}

TEST(LoadLibrary, CountsLoadsAndUnloadsAtTheLastFree) {
  ASSERT_FALSE(plain_driver_is_loaded());
  HMODULE first = LoadLibraryA("../two_names/io");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(LoadLibraryA("../two_names/io"), first);
  EXPECT_EQ(LoadLibraryA(kPlainDriver), first) << "an explicit extension names the same file";
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_TRUE(plain_driver_is_loaded());
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_FALSE(plain_driver_is_loaded());
}

TEST(LoadLibrary, MissingLibraryGivesNull) {
  EXPECT_EQ(LoadLibraryA("no_such_driver"), nullptr);
  EXPECT_EQ(LoadLibraryA(""), nullptr);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(GetProcAddress, FindsExportsAndCachesMisses) {
  HMODULE io = LoadLibraryA("io");
  ASSERT_NE(io, nullptr);
  FARPROC out = GetProcAddress(io, "PortOut");
  EXPECT_NE(out, nullptr);
  EXPECT_EQ(GetProcAddress(io, "PortOut"), out);
  EXPECT_EQ(GetProcAddress(io, "NoSuchEntryPoint"), nullptr);
  EXPECT_EQ(GetProcAddress(io, "NoSuchEntryPoint"), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "PortOut"), nullptr);
  EXPECT_EQ(GetProcAddress(io, reinterpret_cast<const char*>(1)), nullptr) << "ordinals";
  FreeLibrary(io);
}

TEST(Sleep, CountsMilliseconds) {
  const auto start = std::chrono::steady_clock::now();
  Sleep(30);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(30));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
  Sleep(0);  // yields, returns at once
}

std::atomic<int> seen{0};

DWORD WINAPI remember(LPVOID parameter) {
  seen = *static_cast<int*>(parameter);
  return 0;
}

DWORD WINAPI linger(LPVOID) {
  Sleep(300);
  return 0;
}

TEST(CreateThread, RunsTheStartRoutineWithItsParameter) {
  int value = 42;
  HANDLE thread = CreateThread(nullptr, 0, remember, &value, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(seen.load(), 42);
  EXPECT_TRUE(CloseHandle(thread));
}

TEST(CreateThread, WaitTimesOutOnARunningThread) {
  HANDLE thread = CreateThread(nullptr, 0, linger, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 10), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(thread));  // the thread frees its share when it ends
}

TEST(CreateThread, RefusesWhatItCannotDo) {
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(CreateThread(nullptr, 0, linger, nullptr, 4 /* suspended */, nullptr), nullptr);
}

}  // namespace
