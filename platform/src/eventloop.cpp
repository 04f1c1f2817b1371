#include "platform/eventloop.h"

#include <errno.h>

#include <algorithm>

#include "thread_queue.h"

namespace platform {

using detail::CurrentQueue;

WatchId AddFdWatch(int fd, short events, WatchCallback callback) {
  auto& queue = CurrentQueue();
  WatchId id = queue.nextWatchId++;
  queue.watches.push_back({id, fd, events, std::make_shared<WatchCallback>(std::move(callback))});
  return id;
}

static detail::Watch* FindWatch(WatchId id) {
  auto& watches = CurrentQueue().watches;
  auto it = std::find_if(watches.begin(), watches.end(), [id](auto& w) { return w.id == id; });
  return it == watches.end() ? nullptr : &*it;
}

void SetFdWatchEvents(WatchId id, short events) {
  if (auto* watch = FindWatch(id)) watch->events = events;
}

short GetFdWatchEvents(WatchId id) {
  auto* watch = FindWatch(id);
  return watch ? watch->events : 0;
}

void RemoveFdWatch(WatchId id) {
  auto& watches = CurrentQueue().watches;
  std::erase_if(watches, [id](auto& w) { return w.id == id; });
}

void SetLoopSource(LoopSource* source) {
  CurrentQueue().source = source;
}

bool PumpLoop(int timeoutMs) {
  auto& queue = CurrentQueue();
  // One set of buffers per nesting level: a callback may run a nested loop, and the outer
  // level still needs what its poll() reported. Reused, so a pass allocates nothing.
  if (queue.frames.size() <= queue.depth)
    queue.frames.push_back(std::make_unique<detail::PollFrame>());
  auto& frame = *queue.frames[queue.depth];
  auto& fds = frame.fds;
  auto& ids = frame.ids;
  fds.clear();
  ids.clear();
  fds.push_back({queue.wakeFd, POLLIN, 0});
  // Watch ids alongside the descriptors, so that a callback that removes a watch is safe.
  for (auto& watch : queue.watches) {
    if (watch.events == 0) continue;
    fds.push_back({watch.fd, watch.events, 0});
    ids.push_back(watch.id);
  }
  std::size_t sourceStart = fds.size();
  if (queue.source) queue.source->Prepare(fds, timeoutMs);

  ++queue.pollCount;
  queue.lastPoll = std::chrono::steady_clock::now();
  int n = poll(fds.data(), fds.size(), timeoutMs);
  if (n < 0) {
    if (errno != EINTR) return false;
    for (auto& p : fds) p.revents = 0;
    n = 0;
  }
  // The source sees every poll, also an empty one: GLib must check after each query.
  if (n == 0 && !queue.source) return false;
  ++queue.depth;
  struct DepthGuard {
    std::size_t& depth;
    ~DepthGuard() { --depth; }
  } guard{queue.depth};
  if (fds[0].revents) queue.DrainWake();
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const pollfd p = fds[i + 1];
    if (!p.revents) continue;
    if (auto* watch = FindWatch(ids[i])) {
      auto callback = watch->callback;  // shared: the watch may be removed inside
      (*callback)(p.fd, p.revents);
    }
  }
  if (queue.source && sourceStart <= fds.size())
    queue.source->Dispatch(std::span<pollfd>(fds.data() + sourceStart, fds.size() - sourceStart));
  return n > 0;
}

unsigned long long LoopPollCount() {
  return CurrentQueue().pollCount;
}

}  // namespace platform
