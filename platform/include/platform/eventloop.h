// The thread's event loop under GetMessage/PeekMessage: one poll() over the wake descriptor
// (posts from other threads), descriptor watches, a widget-set source and the nearest timer.
// Readiness never calls into the layers above from inside poll(): a watch callback runs from
// the loop afterwards, and is expected to post messages or update state, nothing more.
#pragma once

#ifndef _WIN32
#include <poll.h>

#include <functional>
#include <span>
#include <vector>
#endif

namespace platform {

#ifndef _WIN32
using WatchId = unsigned;
// revents as poll() reported them (POLLIN, POLLOUT, POLLERR, POLLHUP ...).
using WatchCallback = std::function<void(int fd, short revents)>;

// Watches `fd` for `events` on the calling thread's loop. events == 0 keeps the watch but
// polls nothing (level-triggered sources switch interest off until re-armed).
WatchId AddFdWatch(int fd, short events, WatchCallback callback);
void SetFdWatchEvents(WatchId id, short events);
short GetFdWatchEvents(WatchId id);
void RemoveFdWatch(WatchId id);

// A widget set folds its own descriptors and time-out into the loop's poll().
class LoopSource {
 public:
  virtual ~LoopSource() = default;
  // Appends the source's descriptors to `fds` (all of them at the end, in its own order) and
  // may lower `timeoutMs` (-1 = no limit).
  virtual void Prepare(std::vector<pollfd>& fds, int& timeoutMs) = 0;
  // Called after every poll() with exactly the entries Prepare appended, revents filled.
  virtual void Dispatch(std::span<pollfd> fds) = 0;
};
// One source per thread; nullptr removes it.
void SetLoopSource(LoopSource* source);

#endif  // _WIN32

// Runs one wait of the loop: poll() for at most `timeoutMs` (-1 = until something happens),
// then runs watch callbacks and the source's dispatch. Returns true when anything was ready.
// GetMessage and PeekMessage call it; tests and widget sets may too. On Windows: waits for
// input to the thread's queue (MsgWaitForMultipleObjects) for at most `timeoutMs`.
bool PumpLoop(int timeoutMs);

#ifndef _WIN32
// Number of poll() calls made by this thread's loop (for tests that prove idleness).
unsigned long long LoopPollCount();
#endif  // _WIN32

}  // namespace platform
