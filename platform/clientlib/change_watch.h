// The screens' side of live updates. A screen showing a budget sequence asks to hear of
// other clerks' changes to it; the host's watch (installed at start) listens on a thread
// of its own (net/change_listener.h) and calls back on the UI thread, never while a modal
// dialog is open, so the screens stay single-threaded. With nothing installed (headless
// use, tests that do not script it) nothing is heard and screens learn of changes when
// they reload.
#pragma once

#include <functional>
#include <vector>

#include "platform/clientlib/components.h"
#include "platform/clientlib/net/change_listener.h"

namespace clib {

class IChangeWatch {
 public:
  using THeard = std::function<void(const std::vector<TChange>&)>;
  virtual ~IChangeWatch() = default;
  // Hears of other sessions' changes to `key` through `connection`'s server and session
  // from now on, instead of what it heard of before; `heard` runs on the UI thread.
  virtual void Watch(const TChangeKey& key, TNetConnectionComponent& connection, THeard heard) = 0;
  // Hears nothing more; a batch already on its way is dropped.
  virtual void Unwatch() = 0;
};

void InstallChangeWatch(IChangeWatch* watch);
IChangeWatch* ChangeWatch();  // nullptr when none is installed

}  // namespace clib
