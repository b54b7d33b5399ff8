#include "shared_board.h"

#include "segment_checks.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fstream>
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
std::string take_lock(pthread_mutex_t* lock) {
  // Every port access comes here: the deadline is worked out only when the lock is busy.
  int r = pthread_mutex_trylock(lock);
  if (r == EBUSY) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += kLockWaitMs / 1000;
    deadline.tv_nsec += (kLockWaitMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= kNanosPerSecond) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= kNanosPerSecond;
    }
    r = pthread_mutex_clocklock(lock, CLOCK_MONOTONIC, &deadline);
  }
  // EOWNERDEAD: the holder died; the state is plain data that every access
  // re-checks, so carry on with it.
  if (r == 0 || (r == EOWNERDEAD && pthread_mutex_consistent(lock) == 0)) return "";
  if (r == ETIMEDOUT) return lock_kept_too_long();
  return std::string("has a lock in an impossible state (") + std::strerror(r) + ")";
}

}  // namespace

struct SharedBoard::Segment {
  std::atomic<uint64_t> magic;  // stored last, once the rest is ready
  uint32_t version;
  uint32_t size;
  pthread_mutex_t lock;
  BoardState board;
};

static_assert(std::atomic<uint64_t>::is_always_lock_free, "the magic word is shared between processes");

SegmentFacts segment_facts() {
  return {kMagic, kVersion, sizeof(SharedBoard::Segment), offsetof(SharedBoard::Segment, magic),
          offsetof(SharedBoard::Segment, version), offsetof(SharedBoard::Segment, size),
          offsetof(SharedBoard::Segment, lock),     sizeof(pthread_mutex_t),
          offsetof(SharedBoard::Segment, board)};
}

int64_t monotonic_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

std::string default_board_name() { return "placasim-" + std::to_string(getuid()); }

std::string segment_path(const std::string& name) { return "/" + name; }

namespace {

bool init_lock(pthread_mutex_t* lock) {
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) return false;
  bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
            // A process killed while holding the lock must not freeze the board.
            pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 && pthread_mutex_init(lock, &attr) == 0;
  pthread_mutexattr_destroy(&attr);
  return ok;
}

}  // namespace

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
    if (!init_lock(&segment->lock)) {
      *error = "cannot set up the lock of " + where(name);
      munmap(memory, size);
      close(fd);
      shm_unlink(path.c_str());
      return nullptr;
    }
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
    if (fault.empty() && (fault = take_lock(&segment->lock)).empty()) {
      fault = state_fault(segment->board);
      pthread_mutex_unlock(&segment->lock);
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
    : name_(std::move(name)), fd_(fd), segment_(segment), created_(created) {}

// Closing the file drops every record lock this process holds on it.
SharedBoard::~SharedBoard() {
  munmap(segment_, sizeof(Segment));
  close(fd_);
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
  if (const std::string fault = take_lock(&board.segment_->lock); !fault.empty())
    throw BoardLost(refused(board.name_, fault));
}

SharedBoard::Guard::~Guard() { pthread_mutex_unlock(&board.segment_->lock); }

}  // namespace sim
