// libplacaio.so as a user's program meets it: loaded with dlopen, every function
// found by name. Run with LD_LIBRARY_PATH at the recording driver, except where a
// test says otherwise.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "recorder.h"

namespace {

namespace fs = std::filesystem;

const char* const kLibrary = PLACAIO_LIBRARY;

const std::set<std::string> kExports = {"APAGA",
                                        "CONECTA",
                                        "CONECTADO_INT",
                                        "CONECTAR",
                                        "DESCONECTA",
                                        "DESCONECTAR",
                                        "EnviaOcteto",
                                        "EsperaOff",
                                        "EsperaOn",
                                        "M",
                                        "M1",
                                        "M2",
                                        "M3",
                                        "M4",
                                        "M_INT",
                                        "SALIDA",
                                        "SALIDA_INT",
                                        "SAW",
                                        "SAX",
                                        "SAY",
                                        "SAZ",
                                        "SA_INT",
                                        "SD",
                                        "SD_INT",
                                        "VE_INT",
                                        "VS_INT",
                                        "entrada",
                                        "leeanalogica",
                                        "segundos"};

// Paths of every loaded object whose file is called io.so.
std::vector<std::string> LoadedDrivers() {
  std::vector<std::string> found;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        const std::string path = info->dlpi_name ? info->dlpi_name : "";
        if (fs::path(path).filename() == "io.so")
          static_cast<std::vector<std::string>*>(out)->push_back(path);
        return 0;
      },
      &found);
  return found;
}

// The library's file, read whole, with its section headers.
struct ElfFile {
  explicit ElfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  template <typename T>
  const T* at(size_t offset, size_t count = 1) const {
    if (offset > bytes.size() || count * sizeof(T) > bytes.size() - offset) return nullptr;
    return reinterpret_cast<const T*>(bytes.data() + offset);
  }
  const ElfW(Shdr) * sections(size_t& count) const {
    const auto* header = at<ElfW(Ehdr)>(0);
    if (header == nullptr || std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0) return nullptr;
    count = header->e_shnum;
    return at<ElfW(Shdr)>(header->e_shoff, count);
  }
  std::string string_at(const ElfW(Shdr) & table, size_t index) const {
    if (index >= table.sh_size) return "";
    const char* start = at<char>(table.sh_offset + index);
    if (start == nullptr) return "";
    return std::string(start, strnlen(start, table.sh_size - index));
  }
  std::vector<char> bytes;
};

// Names the dynamic symbol table defines for others to use.
std::set<std::string> DefinedDynamicSymbols(const std::string& path) {
  ElfFile file(path);
  size_t count = 0;
  const ElfW(Shdr)* sections = file.sections(count);
  std::set<std::string> names;
  if (sections == nullptr) return {"<not an ELF file>"};
  for (size_t i = 0; i < count; ++i) {
    if (sections[i].sh_type != SHT_DYNSYM || sections[i].sh_link >= count) continue;
    const ElfW(Shdr)& strings = sections[sections[i].sh_link];
    const size_t n = sections[i].sh_size / sizeof(ElfW(Sym));
    const auto* symbols = file.at<ElfW(Sym)>(sections[i].sh_offset, n);
    if (symbols == nullptr) return {"<bad symbol table>"};
    for (size_t s = 1; s < n; ++s) {
      const int binding = ELF64_ST_BIND(symbols[s].st_info);
      if (symbols[s].st_shndx == SHN_UNDEF || binding == STB_LOCAL) continue;
      names.insert(file.string_at(strings, symbols[s].st_name));
    }
  }
  return names;
}

// The strings of one kind of dynamic entry (DT_RUNPATH, DT_SONAME, ...), as written.
std::vector<std::string> DynamicStrings(const std::string& path, ElfW(Sxword) tag) {
  ElfFile file(path);
  size_t count = 0;
  const ElfW(Shdr)* sections = file.sections(count);
  std::vector<std::string> found;
  if (sections == nullptr) return {"<not an ELF file>"};
  for (size_t i = 0; i < count; ++i) {
    if (sections[i].sh_type != SHT_DYNAMIC || sections[i].sh_link >= count) continue;
    const ElfW(Shdr)& strings = sections[sections[i].sh_link];
    const size_t n = sections[i].sh_size / sizeof(ElfW(Dyn));
    const auto* entries = file.at<ElfW(Dyn)>(sections[i].sh_offset, n);
    if (entries == nullptr) return {"<bad dynamic section>"};
    for (size_t e = 0; e < n && entries[e].d_tag != DT_NULL; ++e)
      if (entries[e].d_tag == tag) found.push_back(file.string_at(strings, entries[e].d_un.d_val));
  }
  return found;
}

std::vector<std::string> NonEmptyParts(const std::string& list) {
  std::vector<std::string> parts;
  std::stringstream in(list);
  for (std::string part; std::getline(in, part, ':');)
    if (!part.empty()) parts.push_back(part);
  return parts;
}

class Library {
 public:
  explicit Library(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (handle_) dlclose(handle_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  template <typename F>
  F get(const char* name) const {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }

 private:
  void* handle_;
};

using VoidInt = void (*)(int32_t);
using IntVoid = int32_t (*)();
using IntInt = int32_t (*)(int32_t);

// ---- loading alone (each in a process of its own: nothing may have loaded io.so)

TEST(Loading, LoadingAndUnloadingLoadsNoDriver) {
  ASSERT_TRUE(LoadedDrivers().empty());
  {
    Library library(kLibrary);
    ASSERT_TRUE(library.loaded()) << dlerror();
    EXPECT_TRUE(LoadedDrivers().empty());
  }
  EXPECT_TRUE(LoadedDrivers().empty());
}

// ---- what the file exports

TEST(Exports, EveryNameIsFound) {
  Library library(kLibrary);
  ASSERT_TRUE(library.loaded()) << dlerror();
  for (const std::string& name : kExports)
    EXPECT_NE(library.get<void*>(name.c_str()), nullptr) << name;
}

TEST(Exports, NothingElseIsExported) {
  EXPECT_EQ(DefinedDynamicSymbols(kLibrary), kExports);
  Library library(kLibrary);
  ASSERT_TRUE(library.loaded());
  for (const char* inner :
       {"LoadIODLL", "_Z9LoadIODLLv", "UnloadIODLL", "SALIDA_DIGITAL", "_Z14SALIDA_DIGITALi",
        "_Z13ACTIVA_SALIDAi", "_Z13estado_salidaii", "ESTADO_SALIDAS", "hio", "PortOut",
        "_Z12LoadLibraryAPKc", "_Z19sleep_whole_secondsj"})
    EXPECT_EQ(library.get<void*>(inner), nullptr) << inner;
}

TEST(Exports, RunPathIsTheDefaultDriversFolder) {
  EXPECT_TRUE(DynamicStrings(kLibrary, DT_RPATH).empty())
      << "DT_RPATH would come before LD_LIBRARY_PATH";
  const std::vector<std::string> runpath = DynamicStrings(kLibrary, DT_RUNPATH);
  ASSERT_EQ(runpath.size(), 1u);
  EXPECT_EQ(runpath[0], "$ORIGIN/placaio");
}

TEST(Exports, SonameCarriesTheMajorVersion) {
  EXPECT_EQ(DynamicStrings(kLibrary, DT_SONAME), std::vector<std::string>{"libplacaio.so.1"});
}

// ---- state of a fresh load

TEST(FreshLoad, OutputImageStartsAtZeroWhateverAnEarlierLoadLeft) {
  {
    Library library(kLibrary);
    ASSERT_TRUE(library.loaded());
    EXPECT_EQ(library.get<IntVoid>("VS_INT")(), 0);
    library.get<VoidInt>("SALIDA")(255);  // the board keeps these on
    EXPECT_EQ(library.get<IntVoid>("VS_INT")(), 255);
  }
  ASSERT_EQ(dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stayed loaded";
  Library again(kLibrary);
  ASSERT_TRUE(again.loaded());
  EXPECT_EQ(again.get<IntVoid>("VS_INT")(), 0);
}

// ---- calls reach the driver

TEST(Calls, ExportsDriveTheRecordingBoard) {
  Recorder recorder;
  ASSERT_TRUE(recorder.loaded());
  recorder.reset();
  Library library(kLibrary);
  ASSERT_TRUE(library.loaded());
  library.get<VoidInt>("CONECTA")(3);
  EXPECT_EQ(recorder.log(), (std::vector<PortAccess>{Out(890, 7), Out(888, 4)}));

  recorder.reset();
  recorder.script_status(3, {0x70});
  EXPECT_EQ(library.get<IntVoid>("VE_INT")(), 1);
  EXPECT_EQ(library.get<IntInt>("SD")(1), 1);

  recorder.reset();
  const char codes[4] = {'D', 'x', 'x', 'I'};
  library.get<void (*)(const char*)>("M")(codes);
  EXPECT_EQ(recorder.writes_to(888), (std::vector<int32_t>{4, 6, 6, 70}));
  char motors[4];
  library.get<void (*)(char*)>("M_INT")(motors);
  EXPECT_EQ(std::string(motors, 4), "DIPI");  // output 3 is still on

  recorder.reset();
  recorder.script_status(2, {0x48});
  recorder.script_status(0, {0x30});
  EXPECT_EQ(library.get<IntInt>("leeanalogica")(2), 105);
  EXPECT_EQ(library.get<IntVoid>("SAX")(), 2);
  library.get<void (*)(float)>("segundos")(0.5f);  // no pause
}

// ---- the default driver (each in a process of its own)

// A copy of the library beside a copy of the recording driver in the folder where
// the run path points: that driver is found unless LD_LIBRARY_PATH names another.
TEST(RunPath, DefaultDriverUnlessLibraryPathChoosesAnother) {
  ASSERT_TRUE(LoadedDrivers().empty());
  char templ[] = "/tmp/placaio-runpath-XXXXXX";
  ASSERT_NE(mkdtemp(templ), nullptr);
  const fs::path root = templ;
  struct Removal {
    fs::path path;
    ~Removal() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } removal{root};
  fs::create_directories(root / "lib");
  fs::create_directories(root / "lib/placaio");
  const fs::path own_folder = fs::read_symlink("/proc/self/exe").parent_path();
  fs::copy_file(kLibrary, root / "lib" / fs::path(kLibrary).filename());
  fs::copy_file(own_folder / "io.so", root / "lib/placaio/io.so");

  const char* library_path = std::getenv("LD_LIBRARY_PATH");
  const std::string chosen = library_path && *library_path
                                 ? fs::canonical(NonEmptyParts(library_path).at(0)) / "io.so"
                                 : root / "lib/placaio/io.so";
  {
    Library library((root / "lib" / fs::path(kLibrary).filename()).c_str());
    ASSERT_TRUE(library.loaded()) << dlerror();
    library.get<VoidInt>("CONECTA")(1);
    const std::vector<std::string> drivers = LoadedDrivers();
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_EQ(fs::canonical(drivers[0]), chosen);
    // And the port traffic went there.
    void* driver = dlopen(drivers[0].c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(driver, nullptr);
    auto count = reinterpret_cast<int32_t (*)()>(dlsym(driver, "rec_count"));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count(), 2);
    dlclose(driver);
  }
}

}  // namespace
