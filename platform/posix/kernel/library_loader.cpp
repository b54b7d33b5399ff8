// LoadLibraryA, GetProcAddress and FreeLibrary over dlopen.
//
// The board code binds its port driver on every primitive call, millions of times a
// second, so both a repeated load and a repeated look-up must be cheap: a loaded
// library is found again in a table by its requested name (no loader search), each
// module caches the names it has resolved, and each thread remembers its recent
// look-ups so that a repeated one takes no lock and hashes nothing.
#include "win32_kernel.h"

#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

struct Module {
  void* dl = nullptr;
  uint64_t loads = 0;  // saturates; a saturated module stays loaded for good
  std::deque<std::string> names;  // owns the keys of `symbols`
  std::unordered_map<std::string_view, FARPROC> symbols;
};

struct Loader {
  std::mutex lock;
  std::unordered_map<std::string, Module*> by_name;
};

// Never destroyed: exit handlers of other libraries may still free modules.
Loader& loader() {
  static Loader* instance = new Loader;
  return *instance;
}

constexpr uint64_t kPinned = std::numeric_limits<uint64_t>::max();

// Bumped, under the lock, before any module is deleted: a thread's remembered
// look-up is good only while no module has gone since it was made, so a handle that
// a later module happens to reuse is never answered from an old entry.
std::atomic<uint64_t> modules_deleted{0};

struct RecentLookup {
  const Module* module = nullptr;
  uint64_t generation = 0;
  const char* name = nullptr;  // one of module->names
  FARPROC address = nullptr;
};
constexpr size_t kRecentSlots = 128;  // a power of two
thread_local RecentLookup recent[kRecentSlots];

// Callers pass the same literals again and again, and a caller's names lie side by
// side, at least four bytes apart: slots follow the address, so up to half a kilobyte
// of names never evict each other. The name is compared in full before an entry counts.
RecentLookup& recent_slot(LPCSTR name) {
  return recent[(reinterpret_cast<uintptr_t>(name) >> 2) & (kRecentSlots - 1)];
}
static_assert((kRecentSlots & (kRecentSlots - 1)) == 0);

std::string file_name_for(const char* name) {
  std::string file(name);
  const size_t slash = file.find_last_of('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  if (file.find('.', base) == std::string::npos) file += ".so";
  return file;
}

void add_load(Module* module) {
  if (module->loads != kPinned) ++module->loads;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
  if (name == nullptr || *name == '\0') return nullptr;
  Loader& l = loader();
  std::lock_guard<std::mutex> guard(l.lock);
  if (auto found = l.by_name.find(name); found != l.by_name.end()) {
    add_load(found->second);
    return reinterpret_cast<HMODULE>(found->second);
  }
  void* dl = dlopen(file_name_for(name).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (dl == nullptr) return nullptr;
  // Another name may already have loaded the same file: one module per file.
  for (auto& [key, module] : l.by_name) {
    if (module->dl == dl) {
      dlclose(dl);
      add_load(module);
      l.by_name.emplace(name, module);
      return reinterpret_cast<HMODULE>(module);
    }
  }
  auto* module = new Module;
  module->dl = dl;
  module->loads = 1;
  l.by_name.emplace(name, module);
  return reinterpret_cast<HMODULE>(module);
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR name) {
  // Small values are ordinals on Windows; there are none here.
  if (handle == nullptr || reinterpret_cast<uintptr_t>(name) < 0x10000) return nullptr;
  auto* module = reinterpret_cast<Module*>(handle);
  RecentLookup& slot = recent_slot(name);
  const uint64_t generation = modules_deleted.load(std::memory_order_acquire);
  if (slot.module == module && slot.generation == generation && std::strcmp(slot.name, name) == 0)
    return slot.address;
  Loader& l = loader();
  std::lock_guard<std::mutex> guard(l.lock);
  auto found = module->symbols.find(std::string_view(name));
  if (found == module->symbols.end()) {
    auto address = reinterpret_cast<FARPROC>(dlsym(module->dl, name));
    module->names.emplace_back(name);
    found = module->symbols.emplace(module->names.back(), address).first;
  }
  // Each key views a whole string of `names`, so it ends in a terminator.
  slot = {module, modules_deleted.load(std::memory_order_relaxed), found->first.data(), found->second};
  return found->second;
}

BOOL FreeLibrary(HMODULE handle) {
  if (handle == nullptr) return FALSE;
  auto* module = reinterpret_cast<Module*>(handle);
  Loader& l = loader();
  std::lock_guard<std::mutex> guard(l.lock);
  if (module->loads == kPinned) return TRUE;
  if (--module->loads > 0) return TRUE;
  for (auto it = l.by_name.begin(); it != l.by_name.end();) {
    it = it->second == module ? l.by_name.erase(it) : std::next(it);
  }
  modules_deleted.fetch_add(1, std::memory_order_release);
  dlclose(module->dl);
  delete module;
  return TRUE;
}
