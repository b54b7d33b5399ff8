// Sleep, CreateThread, WaitForSingleObject and CloseHandle over pthreads.
#include "win32_kernel.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <limits.h>
#include <mutex>

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) Sleep(24 * 3600 * 1000);
  }
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) == -1 && errno == EINTR) {
  }
}

namespace {

// Shared by the thread and its handle; the last of the two to let go frees it.
struct Thread {
  LPTHREAD_START_ROUTINE start = nullptr;
  LPVOID parameter = nullptr;
  std::mutex lock;
  std::condition_variable ended_signal;
  bool ended = false;
  std::atomic<int> owners{2};
};

void release(Thread* thread) {
  if (thread->owners.fetch_sub(1) == 1) delete thread;
}

void* run(void* raw) {
  auto* thread = static_cast<Thread*>(raw);
  thread->start(thread->parameter);
  {
    std::lock_guard<std::mutex> guard(thread->lock);
    thread->ended = true;
  }
  thread->ended_signal.notify_all();
  release(thread);
  return nullptr;
}

std::atomic<DWORD> next_thread_id{1};

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stack_size, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD thread_id) {
  if (start == nullptr || flags != 0) return nullptr;
  auto* thread = new Thread;
  thread->start = start;
  thread->parameter = parameter;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (stack_size != 0)
    pthread_attr_setstacksize(&attributes, std::max<SIZE_T>(stack_size, PTHREAD_STACK_MIN));
  pthread_t id;
  const int failed = pthread_create(&id, &attributes, run, thread);
  pthread_attr_destroy(&attributes);
  if (failed) {
    delete thread;
    return nullptr;
  }
  if (thread_id) *thread_id = next_thread_id++;
  return thread;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (handle == nullptr) return WAIT_FAILED;
  auto* thread = static_cast<Thread*>(handle);
  std::unique_lock<std::mutex> guard(thread->lock);
  if (milliseconds == INFINITE) {
    thread->ended_signal.wait(guard, [&] { return thread->ended; });
    return WAIT_OBJECT_0;
  }
  const bool ended = thread->ended_signal.wait_for(
      guard, std::chrono::milliseconds(milliseconds), [&] { return thread->ended; });
  return ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE handle) {
  if (handle == nullptr) return FALSE;
  release(static_cast<Thread*>(handle));
  return TRUE;
}

namespace {
std::atomic<PHANDLER_ROUTINE> ctrl_handler{nullptr};
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  if (!handler) return FALSE;
  if (add) ctrl_handler = handler;
  else ctrl_handler.compare_exchange_strong(handler, nullptr);
  return TRUE;
}

PHANDLER_ROUTINE console_ctrl_handler() { return ctrl_handler; }
