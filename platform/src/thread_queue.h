// The per-thread message queue and loop state behind messages.cpp and eventloop.cpp.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/eventloop.h"
#include "platform/messages.h"

namespace platform::detail {

struct ThreadQueue;

// A SendMessage from another thread, waiting to be handled by the owner. `result` and `done`
// are guarded by the sender's mutex, `abandoned` by the owner's.
struct SentMessage {
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
  bool done = false;
  bool abandoned = false;  // the sender gave up (time-out)
  std::weak_ptr<ThreadQueue> sender;
};

struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT elapseMs = 0;
  TIMERPROC proc = nullptr;
  std::int64_t dueMs = 0;
};

struct Watch {
  WatchId id = 0;
  int fd = -1;
  short events = 0;
  std::shared_ptr<WatchCallback> callback;
};

// Buffers of one nesting level of the loop.
struct PollFrame {
  std::vector<pollfd> fds;
  std::vector<WatchId> ids;
};

struct ThreadQueue {
  ThreadQueue();
  ~ThreadQueue();

  DWORD threadId = 0;
  int wakeFd = -1;

  // Shared with other threads: guarded by `mutex`.
  std::mutex mutex;
  // Signalled when a send to this thread arrives or one of its own sends has been answered:
  // a thread waiting for an answer serves the sends made to it meanwhile.
  std::condition_variable sentDone;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;

  // Owner thread only.
  bool quitPosted = false;
  int quitCode = 0;
  std::vector<Timer> timers;
  UINT_PTR nextCallbackTimerId = 0x7FF0;
  std::vector<Watch> watches;
  WatchId nextWatchId = 1;
  LoopSource* source = nullptr;
  unsigned long long pollCount = 0;
  std::chrono::steady_clock::time_point lastPoll{};  // when PumpLoop last looked
  std::vector<std::unique_ptr<PollFrame>> frames;
  std::size_t depth = 0;

  // True when the descriptors were looked at less than `interval` ago.
  bool PolledWithin(std::chrono::nanoseconds interval) const {
    return std::chrono::steady_clock::now() - lastPoll < interval;
  }

  void Wake();
  void DrainWake();
};

// The calling thread's queue, created on first use.
ThreadQueue& CurrentQueue();
// The queue of a thread, or nullptr when it has none (kept alive by the returned pointer).
std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId);

// Handles SendMessage calls from other threads that wait for this thread.
void ServeSentMessages(ThreadQueue& queue);

}  // namespace platform::detail
