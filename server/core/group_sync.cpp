#include "server/core/group_sync.h"

#include <algorithm>
#include <exception>

namespace srv {

std::uint64_t GroupSync::Committed() {
  std::lock_guard lock(mutex_);
  return ++committed_;
}

void GroupSync::WaitDurable(std::uint64_t ticket) {
  std::unique_lock lock(mutex_);
  while (durable_ < ticket) {
    if (syncing_) {  // a sync is running; it may have begun before this commit: look again after it
      synced_.wait(lock);
      continue;
    }
    syncing_ = true;
    const std::uint64_t covered = committed_;  // every commit written before the sync starts
    lock.unlock();
    std::exception_ptr failure;
    try {
      sync_();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    syncing_ = false;
    if (!failure) durable_ = std::max(durable_, covered);
    synced_.notify_all();  // on failure the others try a sync of their own
    if (failure) std::rethrow_exception(failure);
  }
}

}  // namespace srv
