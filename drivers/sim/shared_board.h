// One simulated board shared by every process that names it: a segment of shared
// memory holding the board state behind a lock that a dying holder cannot keep.
// POSIX shared memory with a record lock on its file, which lives in the kernel
// and goes with its holder (shared_board.cpp), or on
// Windows a paging-file-backed named file mapping with a named mutex
// (shared_board_win32.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "board_model.h"

namespace sim {

// The environment variable that names the board; the driver and placasim read it.
constexpr const char* kBoardEnv = "PLACASIM_BOARD";
constexpr std::size_t kMaxBoardName = 200;
// A lock held longer than this is taken for a corrupt segment: the board's own
// critical sections last microseconds.
constexpr int kLockWaitMs = 2000;

// The board's name: $PLACASIM_BOARD, or default_board_name().
std::string board_name_from_env();
// One board per user: "placasim-<uid>"; on Windows "placasim-<user name>", in the
// user's own (session-local) namespace.
std::string default_board_name();
// Names are letters, digits, '.', '_' and '-', not starting with '.', at most kMaxBoardName.
bool valid_board_name(const std::string& name);
// The system's name of a board's segment: "/<name>"; on Windows
// "Local\placasim-board-<name>" (its mutex: "Local\placasim-lock-<name>").
std::string segment_path(const std::string& name);

// Monotonic time shared by all processes on the machine.
int64_t monotonic_ns();

// Layout check for tests that forge segments: magic, version and size of a segment.
struct SegmentFacts {
  uint64_t magic;
  uint32_t version;
  std::size_t size;
  std::size_t magic_offset, version_offset, size_offset, lock_offset, lock_size, board_offset;
};
SegmentFacts segment_facts();

// The board's lock could not be taken in time, or is in an impossible state: the
// segment is corrupt and the board unusable from then on.
class BoardLost : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SharedBoard {
 public:
  // Attaches to the board, creating it at power-on if it does not exist. A segment
  // of another user or that others may write (on Windows: the session's own
  // namespace keeps others out), of the wrong size, a foreign one, one
  // left half-made or with a lock that cannot be taken is refused: null is returned
  // and *error says why.
  static std::unique_ptr<SharedBoard> open(const std::string& name, std::string* error);
  // Removes the board's name; processes attached keep their mapping. On Windows a
  // board lasts while a process has it open, and this does nothing.
  static bool remove(const std::string& name);

  ~SharedBoard();
  SharedBoard(const SharedBoard&) = delete;
  SharedBoard& operator=(const SharedBoard&) = delete;

  // A program driving the board: marks it in use for as long as this process lives.
  void mark_in_use();
  // For a run that powers the board on afresh: false, with *holder naming the
  // process, while another run or a program holds the board. Held until this ends.
  bool claim_for_run(std::string* holder);

  // Runs f(BoardState&) under the board's lock and returns its result; throws
  // BoardLost when the lock cannot be taken or the segment went away under f.
  template <typename F>
  auto with(F&& f) {
    Guard guard(*this);
    if constexpr (std::is_void_v<decltype(f(state()))>) {
      f(state());
      guard.check_present();
    } else {
      auto result = f(state());
      guard.check_present();
      return result;
    }
  }

  const std::string& name() const { return name_; }
  bool created() const { return created_; }

 private:
  friend SegmentFacts segment_facts();
  struct Segment;
  struct Local;  // POSIX: what this process alone keeps of the board
  struct Guard {
    explicit Guard(SharedBoard& board);
    ~Guard();
    // Throws BoardLost when the segment was emptied or cut short while in use.
    void check_present();
    SharedBoard& board;
  };
  SharedBoard(std::string name, int fd, Segment* segment, bool created);
  BoardState& state();

  std::string name_;
  int fd_;  // POSIX: kept open, the in-use marks are record locks on it; -1 on Windows
  Segment* segment_;
  Local* local_ = nullptr;
  bool created_;
};

}  // namespace sim
