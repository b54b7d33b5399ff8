// The shared board on Windows: a named file mapping backed by the paging file, in the
// user's own (session-local) namespace, guarded by a named mutex. The mapping lasts
// while any process has it open. A mutex left by a process that died is abandoned;
// the next waiter gets it and carries on, as with the robust lock on POSIX.
//
// What POSIX checks through the segment's owner and mode, the namespace gives here:
// Local\ names live in the logon session's own directory, which other users' sessions
// do not see, and their objects get the creator's default security.
// A run holds a named mutex of its own and a program driving the board an event: the
// system drops both when the process ends, like the record locks on POSIX.
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
  // The last run and program to take the board, to name them in a refusal.
  std::atomic<uint32_t> run_pid;
  std::atomic<uint32_t> user_pid;
};

static_assert(std::atomic<uint64_t>::is_always_lock_free, "the magic word is shared between processes");

std::string lock_path(const std::string& name) { return "Local\\placasim-lock-" + name; }
std::string run_path(const std::string& name) { return "Local\\placasim-run-" + name; }
std::string in_use_path(const std::string& name) { return "Local\\placasim-in-use-" + name; }
std::string where(const std::string& name) { return "board \"" + name + "\" (" + segment_path(name) + ")"; }
std::string refused(const std::string& name, const std::string& fault) {
  return refusal(where(name), fault, "End the programs that use it");
}

std::string system_error(const std::string& what) {
  return what + " (Windows error " + std::to_string(GetLastError()) + ")";
}

// Takes the board's mutex within kLockWaitMs; "" or what is wrong with it. An
// abandoned one is taken over: the state is plain data that every access re-checks.
std::string take_lock(HANDLE mutex) {
  const DWORD r = WaitForSingleObject(mutex, kLockWaitMs);
  if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) return "";
  if (r == WAIT_TIMEOUT) return lock_kept_too_long();
  return system_error("has a lock in an impossible state");
}

// Holds the board's mutex for a scope, if it could be taken.
class Held {
 public:
  explicit Held(HANDLE mutex) : mutex_(mutex), fault_(take_lock(mutex)) {}
  ~Held() {
    if (fault_.empty()) ReleaseMutex(mutex_);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  const std::string& fault() const { return fault_; }

 private:
  HANDLE mutex_;
  std::string fault_;
};

// "name.exe (pid N)" while that process lives, else otherwise.
std::string process_text(DWORD pid, const char* otherwise) {
  HANDLE process = pid ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid) : nullptr;
  if (!process) return otherwise;
  char path[MAX_PATH] = {};
  DWORD size = sizeof path;
  DWORD code = 0;
  const bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  const bool named = QueryFullProcessImageNameA(process, 0, path, &size);
  CloseHandle(process);
  if (!alive) return otherwise;
  const std::string id = "pid " + std::to_string(pid);
  if (!named) return "process " + std::to_string(pid);
  const char* base = path;
  for (const char* c = path; *c; ++c)
    if (*c == '\\' || *c == '/') base = c + 1;
  return std::string(base) + " (" + id + ")";
}

}  // namespace

struct SharedBoard::Segment {
  Shared* view;
  HANDLE mapping;
  HANDLE mutex;
  HANDLE run = nullptr;     // owned while this is the board's run
  HANDLE in_use = nullptr;  // open while this process drives the board
};

SegmentFacts segment_facts() {
  // The lock is no part of the segment here.
  return {kMagic, kVersion, sizeof(Shared), offsetof(Shared, magic), offsetof(Shared, version),
          offsetof(Shared, size), 0, 0, offsetof(Shared, board)};
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
  const std::size_t size = sizeof(Shared);

  HANDLE mutex = CreateMutexA(nullptr, FALSE, lock_path(name).c_str());
  if (!mutex) {
    *error = system_error("cannot make the lock of " + where(name));
    return nullptr;
  }
  // Creating and checking under the lock: nobody sees a half-made board unless its
  // maker died making it.
  HANDLE mapping = nullptr;
  Shared* view = nullptr;
  bool created = false;
  {
    Held held(mutex);
    if (!held.fault().empty()) {
      *error = refused(name, held.fault());
      CloseHandle(mutex);
      return nullptr;
    }
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size),
                                 path.c_str());
    if (!mapping) {
      *error = system_error("cannot open " + where(name));
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
      else if ((fault = header_fault(magic, view->version, view->size, size)).empty())
        fault = state_fault(view->board);
    }
    if (!fault.empty()) {
      *error = refused(name, fault);
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
  return std::unique_ptr<SharedBoard>(new SharedBoard(name, -1, new Segment{view, mapping, mutex}, created));
}

bool SharedBoard::remove(const std::string&) { return false; }

SharedBoard::SharedBoard(std::string name, int fd, Segment* segment, bool created)
    : name_(std::move(name)), fd_(fd), segment_(segment), created_(created) {}

SharedBoard::~SharedBoard() {
  if (segment_->run) {
    ReleaseMutex(segment_->run);
    CloseHandle(segment_->run);
  }
  if (segment_->in_use) CloseHandle(segment_->in_use);
  UnmapViewOfFile(segment_->view);
  CloseHandle(segment_->mapping);
  CloseHandle(segment_->mutex);
  delete segment_;
}

void SharedBoard::mark_in_use() {
  if (segment_->in_use) return;
  // Best effort: without it the board only loses its guard.
  segment_->in_use = CreateEventA(nullptr, TRUE, FALSE, in_use_path(name_).c_str());
  segment_->view->user_pid = GetCurrentProcessId();
}

// A program marks the board in use by keeping the event open, so a mark of this
// process itself would refuse it too; placasim never marks its own board.
bool SharedBoard::claim_for_run(std::string* holder) {
  if (!segment_->run) {
    HANDLE run = CreateMutexA(nullptr, FALSE, run_path(name_).c_str());
    const DWORD r = run ? WaitForSingleObject(run, 0) : WAIT_FAILED;
    if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED) {
      *holder = process_text(segment_->view->run_pid, "another run");
      if (run) CloseHandle(run);
      return false;
    }
    segment_->run = run;
  }
  if (HANDLE used = OpenEventA(SYNCHRONIZE, FALSE, in_use_path(name_).c_str())) {
    CloseHandle(used);
    *holder = process_text(segment_->view->user_pid, "a program driving it");
    ReleaseMutex(segment_->run);
    CloseHandle(segment_->run);
    segment_->run = nullptr;
    return false;
  }
  segment_->view->run_pid = GetCurrentProcessId();
  return true;
}

BoardState& SharedBoard::state() { return segment_->view->board; }

SharedBoard::Guard::Guard(SharedBoard& b) : board(b) {
  if (const std::string fault = take_lock(board.segment_->mutex); !fault.empty())
    throw BoardLost(refused(board.name_, fault));
}

SharedBoard::Guard::~Guard() { ReleaseMutex(board.segment_->mutex); }

// A paging-file mapping cannot be cut short by another process.
void SharedBoard::Guard::check_present() {}

}  // namespace sim
