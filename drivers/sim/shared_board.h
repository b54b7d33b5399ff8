// One simulated board shared by every process that names it: a segment of shared
// memory holding the board state behind a lock that a dying holder cannot keep.
// POSIX shared memory with a robust process-shared mutex (shared_board.cpp), or on
// Windows a paging-file-backed named file mapping with a named mutex
// (shared_board_win32.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "board_model.h"

namespace sim {

// The environment variable that names the board; the driver and placasim read it.
constexpr const char* kBoardEnv = "PLACASIM_BOARD";
constexpr std::size_t kMaxBoardName = 200;

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
  std::size_t magic_offset, version_offset, size_offset, board_offset;
};
SegmentFacts segment_facts();

class SharedBoard {
 public:
  // Attaches to the board, creating it at power-on if it does not exist. A segment
  // of the wrong size, a foreign one or one left half-made is refused: null is
  // returned and *error says why.
  static std::unique_ptr<SharedBoard> open(const std::string& name, std::string* error);
  // Removes the board's name; processes attached keep their mapping. On Windows a
  // board lasts while a process has it open, and this does nothing.
  static bool remove(const std::string& name);

  ~SharedBoard();
  SharedBoard(const SharedBoard&) = delete;
  SharedBoard& operator=(const SharedBoard&) = delete;

  // Runs f(BoardState&) under the board's lock and returns its result.
  template <typename F>
  auto with(F&& f) {
    Guard guard(*this);
    return f(state());
  }

  const std::string& name() const { return name_; }
  bool created() const { return created_; }

 private:
  friend SegmentFacts segment_facts();
  struct Segment;
  struct Guard {
    explicit Guard(SharedBoard& board);
    ~Guard();
    SharedBoard& board;
  };
  SharedBoard(std::string name, Segment* segment, bool created);
  BoardState& state();

  std::string name_;
  Segment* segment_;
  bool created_;
};

}  // namespace sim
