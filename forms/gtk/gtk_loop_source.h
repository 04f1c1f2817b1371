// GLib's main context folded into the platform loop's poll(): prepare, query, (the platform
// polls), check, dispatch. The platform loop stays the only one that waits.
#pragma once

#include <glib.h>

#include <vector>

#include "platform/eventloop.h"

class TGtkLoopSource : public platform::LoopSource {
 public:
  // Takes ownership of the default main context for this thread; Acquired() tells whether
  // that worked.
  TGtkLoopSource();
  ~TGtkLoopSource() override;
  TGtkLoopSource(const TGtkLoopSource&) = delete;
  TGtkLoopSource& operator=(const TGtkLoopSource&) = delete;

  bool Acquired() const { return FAcquired; }
  void Prepare(std::vector<pollfd>& fds, int& timeoutMs) override;
  void Dispatch(std::span<pollfd> fds) override;

 private:
  GMainContext* FContext;
  bool FAcquired = false;
  // State of one prepare .. check round.
  bool FQueried = false;
  gint FPriority = 0;
  int FCount = 0;
  std::vector<GPollFD> FFds;
  // A nested pump from inside a GLib dispatch leaves GLib alone: GLib cannot be prepared
  // from within its own dispatch.
  bool FDispatching = false;
};
