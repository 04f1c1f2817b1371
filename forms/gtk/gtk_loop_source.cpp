#include "gtk_loop_source.h"

#include <poll.h>

#include <cstddef>

static_assert(sizeof(GPollFD) == sizeof(pollfd) && offsetof(GPollFD, fd) == offsetof(pollfd, fd) &&
                  offsetof(GPollFD, events) == offsetof(pollfd, events) &&
                  offsetof(GPollFD, revents) == offsetof(pollfd, revents),
              "GPollFD is a pollfd on this system");

TGtkLoopSource::TGtkLoopSource() : FContext(g_main_context_default()) {
  FAcquired = g_main_context_acquire(FContext);
  FFds.resize(16);
}

TGtkLoopSource::~TGtkLoopSource() {
  if (FAcquired) g_main_context_release(FContext);
}

void TGtkLoopSource::Prepare(std::vector<pollfd>& fds, int& timeoutMs) {
  FQueried = false;
  if (!FAcquired || FDispatching) return;
  gboolean ready = g_main_context_prepare(FContext, &FPriority);
  gint glibTimeout = -1;
  for (;;) {
    FCount = g_main_context_query(FContext, FPriority, &glibTimeout, FFds.data(),
                                  static_cast<gint>(FFds.size()));
    if (FCount <= static_cast<int>(FFds.size())) break;
    FFds.resize(static_cast<std::size_t>(FCount));
  }
  FQueried = true;
  for (int i = 0; i < FCount; ++i) {
    const GPollFD& g = FFds[static_cast<std::size_t>(i)];
    fds.push_back({g.fd, static_cast<short>(g.events), 0});
  }
  if (ready)
    timeoutMs = 0;
  else if (glibTimeout >= 0 && (timeoutMs < 0 || glibTimeout < timeoutMs))
    timeoutMs = glibTimeout;
}

void TGtkLoopSource::Dispatch(std::span<pollfd> fds) {
  if (!FQueried) return;
  FQueried = false;
  for (int i = 0; i < FCount; ++i) {
    auto index = static_cast<std::size_t>(i);
    FFds[index].revents = index < fds.size() ? static_cast<gushort>(fds[index].revents) : 0;
  }
  // Check with exactly the array and count that query gave; it also acknowledges GLib's
  // own wake-up descriptor.
  if (g_main_context_check(FContext, FPriority, FFds.data(), FCount)) {
    FDispatching = true;
    g_main_context_dispatch(FContext);
    FDispatching = false;
  }
}
