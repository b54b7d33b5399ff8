// The shared board on Windows: a named file mapping backed by the paging file, in the
// user's own (session-local) namespace, guarded by a named mutex. The mapping lasts
// while any process has it open. A mutex left by a process that died is abandoned;
// the next waiter gets it and carries on, as with the robust lock on POSIX.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <new>

#include "segment_checks.h"
#include "shared_board.h"

namespace sim {

namespace {

// The part in the mapping. The lock is a kernel object of its own, not in here.
struct Shared {
  std::atomic<uint64_t> magic;  // stored last, once the rest is ready
  uint32_t version;
  uint32_t size;
  BoardState board;
};

static_assert(std::atomic<uint64_t>::is_always_lock_free, "the magic word is shared between processes");

std::string lock_path(const std::string& name) { return "Local\\placasim-lock-" + name; }

std::string system_error(const std::string& what) {
  return what + " (Windows error " + std::to_string(GetLastError()) + ")";
}

// Holds the board's mutex for a scope; an abandoned one is taken over.
class Held {
 public:
  explicit Held(HANDLE mutex) : mutex_(mutex) {
    const DWORD r = WaitForSingleObject(mutex_, INFINITE);
    held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
  }
  ~Held() {
    if (held_) ReleaseMutex(mutex_);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  HANDLE mutex_;
  bool held_;
};

}  // namespace

struct SharedBoard::Segment {
  Shared* view;
  HANDLE mapping;
  HANDLE mutex;
};

SegmentFacts segment_facts() {
  return {kMagic, kVersion, sizeof(Shared), offsetof(Shared, magic), offsetof(Shared, version),
          offsetof(Shared, size), offsetof(Shared, board)};
}

int64_t monotonic_ns() {
  // The performance counter is one clock for every process on the machine.
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  const int64_t ticks = c.QuadPart;
  return ticks / frequency * kNanosPerSecond + ticks % frequency * kNanosPerSecond / frequency;
}

std::string default_board_name() {
  char user[257] = {};
  DWORD size = sizeof user;
  std::string name = "placasim-";
  if (!GetUserNameA(user, &size) || !user[0]) return name + "user";
  for (const char* c = user; *c; ++c) name += valid_board_name(std::string(1, *c)) ? *c : '_';
  return name.substr(0, kMaxBoardName);
}

std::string segment_path(const std::string& name) { return "Local\\placasim-board-" + name; }

std::unique_ptr<SharedBoard> SharedBoard::open(const std::string& name, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (!valid_board_name(name)) {
    *error = unusable_name(name);
    return nullptr;
  }
  const std::string path = segment_path(name);
  const std::string where = "board \"" + name + "\" (" + path + ")";
  const std::string remedy = "End the programs that use it";
  const std::size_t size = sizeof(Shared);

  HANDLE mutex = CreateMutexA(nullptr, FALSE, lock_path(name).c_str());
  if (!mutex) {
    *error = system_error("cannot make the lock of " + where);
    return nullptr;
  }
  // Creating and checking under the lock: nobody sees a half-made board unless its
  // maker died making it.
  HANDLE mapping = nullptr;
  Shared* view = nullptr;
  bool created = false;
  {
    Held held(mutex);
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size),
                                 path.c_str());
    if (!mapping) {
      *error = system_error("cannot open " + where);
      CloseHandle(mutex);
      return nullptr;
    }
    created = GetLastError() != ERROR_ALREADY_EXISTS;
    // The whole of an existing mapping, whatever size its maker gave it.
    view = static_cast<Shared*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    std::string fault;
    if (!view) {
      fault = "cannot be mapped (Windows error " + std::to_string(GetLastError()) + ")";
    } else if (created) {
      // Fresh pages are zero: construct the magic word before publishing anything.
      new (&view->magic) std::atomic<uint64_t>(0);
      view->version = kVersion;
      view->size = static_cast<uint32_t>(size);
      board_reset(view->board, monotonic_ns());
      view->magic.store(kMagic, std::memory_order_release);
    } else {
      MEMORY_BASIC_INFORMATION info{};
      VirtualQuery(view, &info, sizeof info);
      // The system rounds a mapping up to whole pages, so the size it was made with is
      // known only from its header, once that header is known to be a board's.
      const uint64_t magic = info.RegionSize >= size ? view->magic.load(std::memory_order_acquire) : 0;
      if (info.RegionSize < size)
        fault = wrong_size(info.RegionSize, size);
      else if ((magic == 0 || magic == kMagic) && view->size != size)
        fault = wrong_size(view->size, size);
      else
        fault = segment_fault(magic, view->version, view->size, size, view->board);
    }
    if (!fault.empty()) {
      *error = refusal(where, fault, remedy);
      if (view) UnmapViewOfFile(view);
      CloseHandle(mapping);
      // Held's destructor still needs the mutex.
      mapping = nullptr;
    }
  }
  if (!mapping) {
    CloseHandle(mutex);
    return nullptr;
  }
  return std::unique_ptr<SharedBoard>(new SharedBoard(name, new Segment{view, mapping, mutex}, created));
}

bool SharedBoard::remove(const std::string&) { return false; }

SharedBoard::SharedBoard(std::string name, Segment* segment, bool created)
    : name_(std::move(name)), segment_(segment), created_(created) {}

SharedBoard::~SharedBoard() {
  UnmapViewOfFile(segment_->view);
  CloseHandle(segment_->mapping);
  CloseHandle(segment_->mutex);
  delete segment_;
}

BoardState& SharedBoard::state() { return segment_->view->board; }

SharedBoard::Guard::Guard(SharedBoard& b) : board(b) {
  // WAIT_ABANDONED: the holder died; the state is plain data that every access
  // re-checks, so carry on with it.
  WaitForSingleObject(board.segment_->mutex, INFINITE);
}

SharedBoard::Guard::~Guard() { ReleaseMutex(board.segment_->mutex); }

}  // namespace sim
