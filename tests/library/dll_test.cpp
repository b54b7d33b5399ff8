// placaio.dll as a Windows program meets it: LoadLibraryA, every export by its plain
// name through GetProcAddress, each called through a __stdcall pointer of its
// documented signature against the recording io.dll beside this test.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "recorder.h"

namespace {

std::string LibraryPath() {
  char own[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, own, MAX_PATH);
  std::string folder(own, n);
  folder.resize(folder.find_last_of("\\/") + 1);
  return folder + "..\\..\\bin\\placaio.dll";  // tests/recording -> bin
}

class Library {
 public:
  Library() : module_(LoadLibraryA(LibraryPath().c_str())) {}
  ~Library() {
    if (module_) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool loaded() const { return module_ != nullptr; }
  void* raw(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }
  template <typename F>
  F get(const char* name) const {
    return reinterpret_cast<F>(raw(name));
  }

 private:
  HMODULE module_;
};

// The stack bytes a callee removes: a question for 32-bit Windows only, where
// __stdcall differs from the C convention (x64 has one convention).
#if defined(__i386__)
// Calls fn with the given 32-bit arguments pushed right to left and reports how
// many bytes the callee left on the stack: 0 for a __stdcall function called with
// its own argument count, 4 per argument for a function whose caller must pop.
struct Call {
  void* fn;
  uint32_t count;
  uint32_t args[3];
  uint32_t result;
  int32_t left_on_stack;
};
static_assert(offsetof(Call, args) == 8 && offsetof(Call, result) == 20 &&
              offsetof(Call, left_on_stack) == 24);

__attribute__((noinline)) void CallCounted(Call* call) {
  asm volatile(
      "movl %%esp, %%esi\n\t"
      "movl 4(%%edi), %%ecx\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl 4(%%edi,%%ecx,4)\n\t"  // args[ecx - 1]
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *(%%edi)\n\t"
      "movl %%eax, 20(%%edi)\n\t"
      "movl %%esi, %%eax\n\t"
      "subl %%esp, %%eax\n\t"
      "movl %%eax, 24(%%edi)\n\t"
      "movl %%esi, %%esp\n\t"
      :
      : "D"(call)
      : "eax", "ecx", "edx", "esi", "memory", "cc");
}

int32_t LeftOnStack(void* fn, std::vector<uint32_t> args) {
  Call call{fn, static_cast<uint32_t>(args.size()), {}, 0, 0};
  for (size_t i = 0; i < args.size(); ++i) call.args[i] = args[i];
  CallCounted(&call);
  return call.left_on_stack;
}

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
#endif

// Signatures as the header documents them.
using VoidVoid = void(__stdcall*)();
using VoidInt = void(__stdcall*)(int32_t);
using IntVoid = int32_t(__stdcall*)();
using IntInt = int32_t(__stdcall*)(int32_t);
using VoidInts = void(__stdcall*)(int32_t*);
using VoidChars = void(__stdcall*)(char*);
using VoidCodes = void(__stdcall*)(const char*);
using VoidFloat = void(__stdcall*)(float);

const std::vector<std::string> kNoArgument = {"CONECTAR", "DESCONECTAR", "SAW",    "SAX",
                                              "SAY",      "SAZ",         "VE_INT", "VS_INT"};

// ---- loading alone (in a process of its own: nothing may have loaded io.dll)

TEST(Loading, LoadingAndUnloadingLoadsNoDriver) {
  ASSERT_EQ(GetModuleHandleA("io.dll"), nullptr);
  {
    Library library;
    ASSERT_TRUE(library.loaded()) << LibraryPath();
    EXPECT_EQ(GetModuleHandleA("io.dll"), nullptr);
  }
  EXPECT_EQ(GetModuleHandleA("placaio.dll"), nullptr);
  EXPECT_EQ(GetModuleHandleA("io.dll"), nullptr);
}

// ---- names

TEST(Exports, EveryNameIsFoundUndecoratedAndNoDecoratedVariant) {
  Library library;
  ASSERT_TRUE(library.loaded()) << LibraryPath();
  const std::vector<std::pair<std::string, int>> exports = {{"APAGA", 4},
                                                            {"CONECTA", 4},
                                                            {"CONECTADO_INT", 4},
                                                            {"CONECTAR", 0},
                                                            {"DESCONECTA", 4},
                                                            {"DESCONECTAR", 0},
                                                            {"EnviaOcteto", 4},
                                                            {"EsperaOff", 4},
                                                            {"EsperaOn", 4},
                                                            {"M", 4},
                                                            {"M1", 4},
                                                            {"M2", 4},
                                                            {"M3", 4},
                                                            {"M4", 4},
                                                            {"M_INT", 4},
                                                            {"SALIDA", 4},
                                                            {"SALIDA_INT", 4},
                                                            {"SAW", 0},
                                                            {"SAX", 0},
                                                            {"SAY", 0},
                                                            {"SAZ", 0},
                                                            {"SA_INT", 4},
                                                            {"SD", 4},
                                                            {"SD_INT", 4},
                                                            {"VE_INT", 0},
                                                            {"VS_INT", 0},
                                                            {"entrada", 4},
                                                            {"leeanalogica", 4},
                                                            {"segundos", 4}};
  ASSERT_EQ(exports.size(), 29u);
  for (const auto& [name, bytes] : exports) {
    EXPECT_NE(library.raw(name.c_str()), nullptr) << name;
    const std::string suffix = "@" + std::to_string(bytes);
    for (const std::string& decorated : {"_" + name, name + suffix, "_" + name + suffix})
      EXPECT_EQ(library.raw(decorated.c_str()), nullptr) << decorated;
  }
  for (const char* inner : {"LoadIODLL", "UnloadIODLL", "SALIDA_DIGITAL", "ACTIVA_SALIDA",
                            "estado_motor", "ESTADO_SALIDAS", "hio", "PortOut", "DllMain"})
    EXPECT_EQ(library.raw(inner), nullptr) << inner;
}

// ---- calling convention

#if defined(__i386__)
TEST(CallingConvention, TheCheckSeesACallerPopsFunction) {
  Recorder recorder;  // its controls are plain C functions: the caller pops
  ASSERT_TRUE(recorder.loaded());
  void* caller_pops =
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("io.dll"), "rec_default_status"));
  ASSERT_NE(caller_pops, nullptr);
  EXPECT_EQ(LeftOnStack(caller_pops, {0x78}), 4);
}

TEST(CallingConvention, EveryExportRemovesExactlyItsArguments) {
  Recorder recorder;
  ASSERT_TRUE(recorder.loaded());
  Library library;
  ASSERT_TRUE(library.loaded());
  int32_t ints[8] = {};
  char chars[4] = {};
  const char codes[4] = {'x', 'x', 'x', 'x'};
  const uint32_t zero_float = 0;  // 0.0f
  // Arguments that return at once: out-of-range numbers, invalid codes, no pause.
  const std::vector<std::pair<const char*, uint32_t>> one_argument = {
      {"APAGA", 0},
      {"CONECTA", 0},
      {"CONECTADO_INT", Address(chars)},
      {"DESCONECTA", 0},
      {"EnviaOcteto", 0x100},
      {"EsperaOff", 0},
      {"EsperaOn", 0},
      {"M", Address(codes)},
      {"M1", 'x'},
      {"M2", 'x'},
      {"M3", 'x'},
      {"M4", 'x'},
      {"M_INT", Address(chars)},
      {"SALIDA", 0x100},
      {"SALIDA_INT", Address(ints)},
      {"SA_INT", Address(ints)},
      {"SD", 1},
      {"SD_INT", Address(ints)},
      {"entrada", 1},
      {"leeanalogica", 0},
      {"segundos", zero_float}};
  for (const auto& [name, argument] : one_argument) {
    void* fn = library.raw(name);
    ASSERT_NE(fn, nullptr) << name;
    EXPECT_EQ(LeftOnStack(fn, {argument}), 0) << name;
  }
  for (const std::string& name : kNoArgument) {
    void* fn = library.raw(name.c_str());
    ASSERT_NE(fn, nullptr) << name;
    EXPECT_EQ(LeftOnStack(fn, {}), 0) << name;
  }
}
#endif

// Typed __stdcall calls in a loop: a callee that left its arguments would walk the
// stack pointer away and corrupt what the loop keeps there.
TEST(CallingConvention, RepeatedTypedCallsKeepTheirResults) {
  Recorder recorder;
  ASSERT_TRUE(recorder.loaded());
  recorder.reset();
  recorder.script_status(3, {0x70});
  Library library;
  ASSERT_TRUE(library.loaded());
  const auto conecta = library.get<VoidInt>("CONECTA");
  const auto vs_int = library.get<IntVoid>("VS_INT");
  const auto sd = library.get<IntInt>("SD");
  int32_t sum = 0;
  for (int32_t i = 0; i < 2000; ++i) {
    conecta(1 + i % 8);
    sum += sd(1) + vs_int();
  }
  EXPECT_EQ(vs_int(), 255);
  // VS_INT climbs 1, 3, 7, ... 255 over the first eight calls, then stays at 255.
  EXPECT_EQ(sum, 2000 + (1 + 3 + 7 + 15 + 31 + 63 + 127) + 255 * (2000 - 7));
}

// ---- each export against the recording board

class DllCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(recorder_.loaded());
    ASSERT_TRUE(library_.loaded());
    recorder_.reset();
  }
  template <typename F>
  F fn(const char* name) {
    F f = library_.get<F>(name);
    EXPECT_NE(f, nullptr) << name;
    return f;
  }
  std::vector<PortAccess> OutputWrites(std::initializer_list<int32_t> bytes) {
    std::vector<PortAccess> out;
    for (int32_t b : bytes) {
      out.push_back(Out(890, 7));
      out.push_back(Out(888, b));
    }
    return out;
  }
  Recorder recorder_;
  Library library_;
};

TEST_F(DllCalls, Outputs) {
  fn<VoidInt>("SALIDA")(0);
  fn<VoidInt>("CONECTA")(3);
  fn<VoidInt>("EnviaOcteto")(0x81);
  fn<VoidInt>("DESCONECTA")(8);
  fn<VoidInt>("APAGA")(1);
  fn<VoidVoid>("CONECTAR")();
  fn<VoidVoid>("DESCONECTAR")();
  fn<VoidInt>("CONECTA")(9);  // out of range
  EXPECT_EQ(recorder_.log(), OutputWrites({0, 4, 0x81, 1, 0, 255, 0}));
  EXPECT_EQ(fn<IntVoid>("VS_INT")(), 0);
}

TEST_F(DllCalls, MotorsAndReadBacks) {
  fn<VoidInt>("SALIDA")(255);
  fn<VoidInt>("M1")('P');
  fn<VoidInt>("M2")(256 + 'I');  // low byte counts
  fn<VoidInt>("M3")('D');
  fn<VoidInt>("M4")('d');  // nothing
  EXPECT_EQ(recorder_.writes_to(888), (std::vector<int32_t>{255, 254, 252, 244, 244, 228, 228}));
  const char codes[4] = {'I', 'x', 'P', 'D'};
  fn<VoidCodes>("M")(codes);
  EXPECT_EQ(fn<IntVoid>("VS_INT")(), 0b10000101);
  int32_t outputs[9];
  outputs[8] = -1;
  fn<VoidInts>("SALIDA_INT")(outputs);
  EXPECT_EQ(std::vector<int32_t>(outputs, outputs + 9),
            (std::vector<int32_t>{1, 0, 1, 0, 0, 0, 0, 1, -1}));
  char motors[5] = {0, 0, 0, 0, 'z'};
  fn<VoidChars>("M_INT")(motors);
  EXPECT_EQ(std::string(motors, 5), "IIPDz");
  char connected[5] = {9, 9, 9, 9, 9};
  fn<VoidChars>("CONECTADO_INT")(connected);
  EXPECT_EQ(std::vector<char>(connected, connected + 5), (std::vector<char>{1, 1, 0, 1, 9}));
}

TEST_F(DllCalls, DigitalInputs) {
  recorder_.script_status(3, {0x70});  // input 1 on
  recorder_.script_status(1, {0x38});  // input 8 on
  EXPECT_EQ(fn<IntVoid>("VE_INT")(), 0x81);
  EXPECT_EQ(recorder_.log(),
            (std::vector<PortAccess>{Out(890, 3), In(889, 0x70), Out(890, 1), In(889, 0x38)}));
  EXPECT_EQ(fn<IntInt>("SD")(8), 1);
  EXPECT_EQ(fn<IntInt>("SD")(2), 0);
  EXPECT_EQ(fn<IntInt>("entrada")(1), 1);
  EXPECT_EQ(fn<IntInt>("entrada")(9), 0);
  int32_t inputs[9];
  inputs[8] = -1;
  fn<VoidInts>("SD_INT")(inputs);
  EXPECT_EQ(std::vector<int32_t>(inputs, inputs + 9),
            (std::vector<int32_t>{1, 0, 0, 0, 0, 0, 0, 1, -1}));
  recorder_.reset();
  recorder_.script_status(3, {0x78, 0x78, 0x70});
  fn<VoidInt>("EsperaOn")(1);
  EXPECT_EQ(recorder_.status_reads(), 6);
  recorder_.reset();
  recorder_.script_status(1, {0x30, 0x38});
  fn<VoidInt>("EsperaOff")(5);  // input 5 on, then off
  EXPECT_EQ(recorder_.status_reads(), 4);
}

TEST_F(DllCalls, AnalogInputs) {
  recorder_.script_status(2, {0x48});
  recorder_.script_status(0, {0x30});
  EXPECT_EQ(fn<IntInt>("leeanalogica")(3), 105);
  EXPECT_EQ(
      recorder_.log(),
      (std::vector<PortAccess>{Out(890, 5), Out(888, 3), Out(890, 8), Out(890, 2), In(889, 0x48),
                               Out(890, 5), Out(888, 3), Out(890, 8), Out(890, 0), In(889, 0x30)}));
  EXPECT_EQ(fn<IntInt>("leeanalogica")(5), 0);
  EXPECT_EQ(fn<IntVoid>("SAW")(), 2);
  EXPECT_EQ(fn<IntVoid>("SAX")(), 2);
  EXPECT_EQ(fn<IntVoid>("SAY")(), 2);
  EXPECT_EQ(fn<IntVoid>("SAZ")(), 2);
  recorder_.reset();
  recorder_.script_status(2, {0x78});
  recorder_.script_status(0, {0x78});
  int32_t volts[5] = {-1, -1, -1, -1, -1};
  fn<VoidInts>("SA_INT")(volts);
  EXPECT_EQ(std::vector<int32_t>(volts, volts + 5), (std::vector<int32_t>{4, 4, 4, 4, -1}));
  EXPECT_EQ(recorder_.writes_to(888), (std::vector<int32_t>{1, 1, 2, 2, 4, 4, 8, 8}));
}

// The float travels in its own 32-bit slot: one whole second, the fraction dropped.
TEST_F(DllCalls, PauseTakesAFloatOfWholeSeconds) {
  const auto segundos = fn<VoidFloat>("segundos");
  auto start = std::chrono::steady_clock::now();
  segundos(0.5f);
  segundos(-3.0f);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.5);
  start = std::chrono::steady_clock::now();
  segundos(1.5f);
  const double taken =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(taken, 0.95);
  EXPECT_LT(taken, 1.45);
  EXPECT_TRUE(recorder_.log().empty());
}

// ---- a fresh load

TEST(FreshLoad, OutputImageStartsAtZeroWhateverAnEarlierLoadLeft) {
  Recorder recorder;
  ASSERT_TRUE(recorder.loaded());
  {
    Library library;
    ASSERT_TRUE(library.loaded());
    library.get<VoidInt>("SALIDA")(255);
    EXPECT_EQ(library.get<IntVoid>("VS_INT")(), 255);
  }
  ASSERT_EQ(GetModuleHandleA("placaio.dll"), nullptr) << "the library stayed loaded";
  recorder.reset();
  Library again;
  ASSERT_TRUE(again.loaded());
  EXPECT_EQ(again.get<IntVoid>("VS_INT")(), 0);
  EXPECT_TRUE(recorder.log().empty());
}

}  // namespace
