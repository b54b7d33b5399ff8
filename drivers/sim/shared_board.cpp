#include "shared_board.h"

#include "segment_checks.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <mutex>
#include <new>

namespace sim {

namespace {

// How long to wait for another process that is creating the segment right now.
constexpr int kCreationWaitSteps = 200;
constexpr int kCreationWaitStepMs = 5;
// Record locks on the segment's file, released by the system when a process ends:
// a run that powered the board on holds the first byte exclusively, every program
// driving the board holds the second shared. A process loses its own when it closes
// any descriptor of the segment, so the driver and placasim open it once.
constexpr off_t kRunByte = 0;
constexpr off_t kInUseByte = 1;
// The board's lock: an open-file-description lock on the third byte. It lives in the
// kernel, so nothing written into the segment can wedge or corrupt it, and it goes
// with its holder. Each SharedBoard opens its own description; its threads take
// SharedBoard::threads_ first, since they share that description.
constexpr off_t kLockByte = 2;

std::string system_error(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

std::string where(const std::string& name) { return "board \"" + name + "\" (/dev/shm" + segment_path(name) + ")"; }

std::string refused(const std::string& name, const std::string& fault) {
  return refusal(where(name), fault, "Remove /dev/shm" + segment_path(name));
}

std::string user_text(uid_t uid) {
  passwd pw{};
  passwd* found = nullptr;
  char buf[1024];
  std::string id = "uid " + std::to_string(uid);
  if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found) return found->pw_name + (" (" + id + ")");
  return id;
}

// Another user could have planted the segment to read and drive this user's board.
std::string ownership_fault(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return "is not a plain file";
  if (st.st_uid != geteuid())
    return "belongs to user " + user_text(st.st_uid) + ", not to you (" + user_text(geteuid()) + ")";
  if (st.st_mode & (S_IWGRP | S_IWOTH)) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string("may be written by other users (mode ") + mode + ", owner " + user_text(st.st_uid) + ")";
  }
  return "";
}

std::string process_text(pid_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string command;
  if (comm && std::getline(comm, command) && !command.empty())
    return command + " (pid " + std::to_string(pid) + ")";
  return "process " + std::to_string(pid);
}

struct flock lock_on(off_t byte, short type) {
  struct flock l{};
  l.l_type = type;
  l.l_whence = SEEK_SET;
  l.l_start = byte;
  l.l_len = 1;
  return l;
}

// The process holding a lock on the byte that conflicts with an exclusive one, if any.
bool holder_of(int fd, off_t byte, std::string* holder) {
  struct flock l = lock_on(byte, F_WRLCK);
  if (fcntl(fd, F_GETLK, &l) != 0 || l.l_type == F_UNLCK) return false;
  *holder = l.l_pid > 0 ? process_text(l.l_pid) : "a process of another namespace";
  return true;
}

// Takes the board's lock within kLockWaitMs; "" or what is wrong with it.
std::string take_lock(int fd) {
  struct flock l = lock_on(kLockByte, F_WRLCK);
  // Every port access comes here: the deadline is worked out only when the lock is busy.
  if (fcntl(fd, F_OFD_SETLK, &l) == 0) return "";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
  // Polled rather than waited for: a stopped holder must not hold this process forever.
  for (useconds_t pause = 20;; pause = std::min<useconds_t>(pause * 2, 1000)) {
    if (errno != EAGAIN && errno != EACCES && errno != EINTR)
      return std::string("has a lock that cannot be taken (") + std::strerror(errno) + ")";
    if (std::chrono::steady_clock::now() > deadline) return lock_kept_too_long();
    usleep(pause);
    if (fcntl(fd, F_OFD_SETLK, &l) == 0) return "";
  }
}

void drop_lock(int fd) {
  struct flock l = lock_on(kLockByte, F_UNLCK);
  fcntl(fd, F_OFD_SETLK, &l);
}

}  // namespace

struct SharedBoard::Local {
  std::mutex threads;
  std::atomic<bool> gone{false};
};

namespace {

// A segment cut short under this process (truncated by anyone who may write it)
// raises SIGBUS on its next access. The handler puts blank memory where the missing
// pages were, marks the board gone and lets the access finish; check_present then
// turns that into BoardLost.
struct Mapping {
  std::atomic<char*> start{nullptr};
  std::size_t size = 0;
  std::atomic<bool>* gone = nullptr;
};
constexpr int kMappings = 16;
Mapping mappings[kMappings];
struct sigaction earlier_sigbus{};

void on_sigbus(int sig, siginfo_t* info, void* context) {
  char* at = static_cast<char*>(info->si_addr);
  for (Mapping& m : mappings) {
    char* start = m.start.load();
    if (start && at >= start && at < start + m.size) {
      mmap(start, m.size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
      m.gone->store(true);
      return;
    }
  }
  if (earlier_sigbus.sa_flags & SA_SIGINFO) return earlier_sigbus.sa_sigaction(sig, info, context);
  if (earlier_sigbus.sa_handler != SIG_DFL && earlier_sigbus.sa_handler != SIG_IGN)
    return earlier_sigbus.sa_handler(sig);
  // Not ours: the access faults again and ends the process as it would have.
  signal(SIGBUS, SIG_DFL);
}

std::mutex mappings_change;

void watch_mapping(void* start, std::size_t size, std::atomic<bool>* gone) {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action{};
    action.sa_sigaction = on_sigbus;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &earlier_sigbus);
  });
  std::lock_guard<std::mutex> hold(mappings_change);
  for (Mapping& m : mappings) {
    if (m.start.load()) continue;
    m.size = size;
    m.gone = gone;
    m.start.store(static_cast<char*>(start));
    return;
  }
}

void unwatch_mapping(void* start) {
  std::lock_guard<std::mutex> hold(mappings_change);
  for (Mapping& m : mappings)
    if (m.start.load() == start) m.start.store(nullptr);
}

}  // namespace

struct SharedBoard::Segment {
  std::atomic<uint64_t> magic;  // stored last, once the rest is ready
  uint32_t version;
  uint32_t size;
  BoardState board;
};

static_assert(std::atomic<uint64_t>::is_always_lock_free, "the magic word is shared between processes");

SegmentFacts segment_facts() {
  return {kMagic, kVersion, sizeof(SharedBoard::Segment), offsetof(SharedBoard::Segment, magic),
          offsetof(SharedBoard::Segment, version), offsetof(SharedBoard::Segment, size),
          0, 0, offsetof(SharedBoard::Segment, board)};  // the lock is no part of the segment
}

int64_t monotonic_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

std::string default_board_name() { return "placasim-" + std::to_string(getuid()); }

std::string segment_path(const std::string& name) { return "/" + name; }

std::unique_ptr<SharedBoard> SharedBoard::open(const std::string& name, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  const std::string path = segment_path(name);
  if (!valid_board_name(name)) {
    *error = unusable_name(name);
    return nullptr;
  }
  const std::size_t size = sizeof(Segment);

  bool created = true;
  int fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = shm_open(path.c_str(), O_RDWR, 0);
  }
  if (fd < 0) {
    *error = system_error(("cannot open " + where(name)).c_str());
    return nullptr;
  }
  auto refuse = [&](const std::string& fault) {
    *error = refused(name, fault);
    close(fd);
    return nullptr;
  };

  if (created) {
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
      *error = system_error(("cannot size " + where(name)).c_str());
      close(fd);
      shm_unlink(path.c_str());
      return nullptr;
    }
  } else {
    struct stat st{};
    if (fstat(fd, &st) != 0) return refuse(system_error("cannot be examined"));
    if (const std::string fault = ownership_fault(st); !fault.empty()) return refuse(fault);
    // The creator may be between shm_open and ftruncate: give it a moment.
    for (int i = 0; i < kCreationWaitSteps && st.st_size == 0; ++i) {
      usleep(kCreationWaitStepMs * 1000);
      if (fstat(fd, &st) != 0) break;
    }
    if (st.st_size != static_cast<off_t>(size)) return refuse(wrong_size(st.st_size, size));
  }

  void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    *error = system_error(("cannot map " + where(name)).c_str());
    close(fd);
    if (created) shm_unlink(path.c_str());
    return nullptr;
  }
  auto* segment = static_cast<Segment*>(memory);

  if (created) {
    // Fresh pages are zero: construct the magic word before publishing anything.
    new (&segment->magic) std::atomic<uint64_t>(0);
    segment->version = kVersion;
    segment->size = static_cast<uint32_t>(size);
    board_reset(segment->board, monotonic_ns());
    segment->magic.store(kMagic, std::memory_order_release);
  } else {
    uint64_t magic = 0;
    for (int i = 0; i < kCreationWaitSteps; ++i) {
      magic = segment->magic.load(std::memory_order_acquire);
      if (magic != 0) break;
      usleep(kCreationWaitStepMs * 1000);
    }
    std::string fault = header_fault(magic, segment->version, segment->size, size);
    if (fault.empty() && (fault = take_lock(fd)).empty()) {
      fault = state_fault(segment->board);
      drop_lock(fd);
    }
    if (!fault.empty()) {
      munmap(memory, size);
      return refuse(fault);
    }
  }
  return std::unique_ptr<SharedBoard>(new SharedBoard(name, fd, segment, created));
}

bool SharedBoard::remove(const std::string& name) {
  return valid_board_name(name) && shm_unlink(segment_path(name).c_str()) == 0;
}

SharedBoard::SharedBoard(std::string name, int fd, Segment* segment, bool created)
    : name_(std::move(name)), fd_(fd), segment_(segment), local_(new Local), created_(created) {
  watch_mapping(segment_, sizeof(Segment), &local_->gone);
}

// Closing the file drops every record lock this process holds on it.
SharedBoard::~SharedBoard() {
  unwatch_mapping(segment_);
  munmap(segment_, sizeof(Segment));
  close(fd_);
  delete local_;
}

void SharedBoard::mark_in_use() {
  struct flock l = lock_on(kInUseByte, F_RDLCK);
  fcntl(fd_, F_SETLK, &l);  // best effort: without it the board only loses its guard
}

bool SharedBoard::claim_for_run(std::string* holder) {
  struct flock run = lock_on(kRunByte, F_WRLCK);
  if (fcntl(fd_, F_SETLK, &run) != 0) {
    if (!holder_of(fd_, kRunByte, holder)) *holder = "another run";
    return false;
  }
  if (holder_of(fd_, kInUseByte, holder)) {
    run.l_type = F_UNLCK;
    fcntl(fd_, F_SETLK, &run);
    return false;
  }
  return true;
}

BoardState& SharedBoard::state() { return segment_->board; }

SharedBoard::Guard::Guard(SharedBoard& b) : board(b) {
  board.local_->threads.lock();
  if (const std::string fault = take_lock(board.fd_); !fault.empty()) {
    board.local_->threads.unlock();
    throw BoardLost(refused(board.name_, fault));
  }
  try {
    check_present();
  } catch (...) {
    drop_lock(board.fd_);
    board.local_->threads.unlock();
    throw;
  }
}

SharedBoard::Guard::~Guard() {
  drop_lock(board.fd_);
  board.local_->threads.unlock();
}

void SharedBoard::Guard::check_present() {
  // An emptied segment reads as zero, a cut one faults into on_sigbus: either way
  // the magic word is gone.
  if (board.segment_->magic.load(std::memory_order_relaxed) != kMagic) board.local_->gone = true;
  if (board.local_->gone) throw BoardLost(where(board.name_) + " went away while in use (its segment was emptied or cut short)");
}

}  // namespace sim
