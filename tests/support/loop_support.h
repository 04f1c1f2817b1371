// Helpers for tests that run the message loop: every wait has a time limit, and a watchdog
// ends a test that hangs anyway.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/eventloop.h"
#include "platform/messages.h"
#include "platform/time.h"

namespace testsupport {

// Dispatches messages until `done` holds or `timeoutMs` has passed; true when `done` held.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  auto deadline = platform::MonotonicMs() + timeoutMs;
  MSG msg;
  for (;;) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return done();
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (done()) return true;
    }
    if (done()) return true;
    auto left = deadline - platform::MonotonicMs();
    if (left <= 0) return false;
    platform::PumpLoop(static_cast<int>(std::min<std::int64_t>(left, 20)));
  }
}

// Dispatches everything that arrives for `ms` milliseconds.
inline void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

// Ends the whole test process when a test runs longer than its limit.
class Watchdog {
 public:
  explicit Watchdog(int seconds = 60) {
    thread_ = std::thread([this, seconds] {
      std::unique_lock lock(mutex_);
      if (!cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stop_; })) {
        std::fprintf(stderr, "watchdog: test exceeded its %d s limit\n", seconds);
        std::fflush(stderr);
        std::_Exit(3);
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace testsupport
