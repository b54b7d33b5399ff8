#include "shared_board.h"

#include "segment_checks.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <new>

namespace sim {

namespace {

// How long to wait for another process that is creating the segment right now.
constexpr int kCreationWaitSteps = 200;
constexpr int kCreationWaitStepMs = 5;

std::string system_error(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

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
  const std::string where = "board \"" + name + "\" (/dev/shm" + path + ")";
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
    *error = system_error(("cannot open " + where).c_str());
    return nullptr;
  }

  if (created) {
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
      *error = system_error(("cannot size " + where).c_str());
      close(fd);
      shm_unlink(path.c_str());
      return nullptr;
    }
  } else {
    // The creator may be between shm_open and ftruncate: give it a moment.
    struct stat st{};
    for (int i = 0; i < kCreationWaitSteps; ++i) {
      if (fstat(fd, &st) != 0 || st.st_size != 0) break;
      usleep(kCreationWaitStepMs * 1000);
    }
    if (st.st_size != static_cast<off_t>(size)) {
      *error = refusal(where, wrong_size(st.st_size, size), "Remove /dev/shm" + path);
      close(fd);
      return nullptr;
    }
  }

  void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (memory == MAP_FAILED) {
    *error = system_error(("cannot map " + where).c_str());
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
      *error = "cannot set up the lock of " + where;
      munmap(memory, size);
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
    const std::string fault = segment_fault(magic, segment->version, segment->size, size, segment->board);
    if (!fault.empty()) {
      *error = refusal(where, fault, "Remove /dev/shm" + path);
      munmap(memory, size);
      return nullptr;
    }
  }
  return std::unique_ptr<SharedBoard>(new SharedBoard(name, segment, created));
}

bool SharedBoard::remove(const std::string& name) {
  return valid_board_name(name) && shm_unlink(segment_path(name).c_str()) == 0;
}

SharedBoard::SharedBoard(std::string name, Segment* segment, bool created)
    : name_(std::move(name)), segment_(segment), created_(created) {}

SharedBoard::~SharedBoard() { munmap(segment_, sizeof(Segment)); }

BoardState& SharedBoard::state() { return segment_->board; }

SharedBoard::Guard::Guard(SharedBoard& b) : board(b) {
  // EOWNERDEAD: the holder died; the state is plain data that every access
  // re-checks, so carry on with it.
  if (pthread_mutex_lock(&board.segment_->lock) == EOWNERDEAD) pthread_mutex_consistent(&board.segment_->lock);
}

SharedBoard::Guard::~Guard() { pthread_mutex_unlock(&board.segment_->lock); }

}  // namespace sim
