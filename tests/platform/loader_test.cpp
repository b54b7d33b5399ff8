// The per-thread memory of look-ups in GetProcAddress, which the binding's cost
// rests on: it must never answer for a library that is gone or a name that changed.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <thread>

#include "win32.h"

namespace {

// A driver with no C++ runtime inside, so freeing it really unloads it.
constexpr const char* kPlainDriver = "../two_names/io";
constexpr const char* kPlainFile = "../two_names/io.so";
constexpr const char* kOtherDriver = "../../drivers/sim/io";
constexpr const char* kOtherFile = "../../drivers/sim/io.so";

void* loader_truth(const char* file, const char* name) {
  void* dl = dlopen(file, RTLD_NOW | RTLD_NOLOAD);
  if (dl == nullptr) return nullptr;
  void* address = dlsym(dl, name);
  dlclose(dl);
  return address;
}

TEST(RememberedLookups, FollowTheNameNotTheBuffer) {
  HMODULE io = LoadLibraryA("io");
  ASSERT_NE(io, nullptr);
  char name[32] = "PortOut";
  const FARPROC out = GetProcAddress(io, name);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(GetProcAddress(io, name), out);
  std::strcpy(name, "PortIn");
  const FARPROC in = GetProcAddress(io, name);
  EXPECT_NE(in, out);
  EXPECT_EQ(reinterpret_cast<void*>(in), loader_truth("./io.so", "PortIn"));
  std::strcpy(name, "PortInX");
  EXPECT_EQ(GetProcAddress(io, name), nullptr);
  FreeLibrary(io);
}

// Handles of freed modules come back for other libraries now and then; over a few
// rounds of two libraries taking turns, every answer must still be the loader's own.
TEST(RememberedLookups, DieWithTheirLibrary) {
  const struct {
    const char* name;
    const char* file;
  } turns[] = {{kPlainDriver, kPlainFile}, {kOtherDriver, kOtherFile}};
  for (int round = 0; round < 50; ++round) {
    for (const auto& turn : turns) {
      HMODULE io = LoadLibraryA(turn.name);
      ASSERT_NE(io, nullptr);
      const void* truth = loader_truth(turn.file, "PortOut");
      ASSERT_NE(truth, nullptr);
      EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(io, "PortOut")), truth) << turn.name << " round " << round;
      EXPECT_TRUE(FreeLibrary(io));
    }
  }
}

TEST(RememberedLookups, AreKeptPerModule) {
  // By path: after the turns above the simulated board's io.so, which stays loaded,
  // answers to the bare name.
  HMODULE recording = LoadLibraryA("./io");
  HMODULE plain = LoadLibraryA(kPlainDriver);
  ASSERT_NE(recording, nullptr);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(recording, plain);
  EXPECT_NE(GetProcAddress(recording, "rec_reset"), nullptr);
  EXPECT_EQ(GetProcAddress(plain, "rec_reset"), nullptr);
  EXPECT_NE(GetProcAddress(recording, "PortOut"), GetProcAddress(plain, "PortOut"));
  FreeLibrary(plain);
  FreeLibrary(recording);
}

TEST(RememberedLookups, AgreeAcrossThreads) {
  HMODULE io = LoadLibraryA("io");
  ASSERT_NE(io, nullptr);
  const FARPROC here = GetProcAddress(io, "PortIn");
  FARPROC there = nullptr;
  std::thread([&] {
    for (int i = 0; i < 1000; ++i) there = GetProcAddress(io, "PortIn");
  }).join();
  EXPECT_EQ(there, here);
  FreeLibrary(io);
}

}  // namespace
