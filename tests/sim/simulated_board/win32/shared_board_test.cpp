// What only Windows has: the board's lock is a named mutex beside the mapping, which
// another process could keep without ever letting go.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "shared_board.h"
#include "simulated_board/shared_fixture.h"

namespace {

using sim::SharedBoard;
using simtest::seconds_since;
using simtest::Shared;

// Mutexes belong to threads: one of this process's own is as good as another process.
class KeptLock : public Shared {
 protected:
  void keep_lock() {
    keeper_ = std::thread([this] {
      HANDLE mutex = CreateMutexA(nullptr, FALSE, ("Local\\placasim-lock-" + name).c_str());
      WaitForSingleObject(mutex, INFINITE);
      SetEvent(taken_);
      WaitForSingleObject(done_, INFINITE);
      ReleaseMutex(mutex);
      CloseHandle(mutex);
    });
    WaitForSingleObject(taken_, INFINITE);
  }
  void TearDown() override {
    SetEvent(done_);
    if (keeper_.joinable()) keeper_.join();
    CloseHandle(taken_);
    CloseHandle(done_);
    Shared::TearDown();
  }
  HANDLE taken_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE done_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread keeper_;
};

TEST_F(KeptLock, NeverLetGoIsRefusedInBoundedTime) {
  auto first = SharedBoard::open(name, nullptr);
  ASSERT_NE(first, nullptr);
  keep_lock();
  const auto t0 = std::chrono::steady_clock::now();
  const std::string error = refusal();
  EXPECT_LT(seconds_since(t0), simtest::kLockRefusalBound);
  EXPECT_NE(error.find("lock"), std::string::npos) << error;
  EXPECT_NE(error.find(sim::segment_path(name)), std::string::npos) << error;
}

TEST_F(KeptLock, KeptWhileAttachedEndsTheWaitWithAnError) {
  auto board = SharedBoard::open(name, nullptr);
  ASSERT_NE(board, nullptr);
  keep_lock();
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_THROW(board->with([](sim::BoardState& s) { return s.outputs; }), sim::BoardLost);
  EXPECT_LT(seconds_since(t0), simtest::kLockRefusalBound);
}

}  // namespace
