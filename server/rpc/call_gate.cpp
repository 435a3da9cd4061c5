#include "server/rpc/call_gate.h"

#include <algorithm>
#include <utility>

namespace srv {

CallGate::CallGate(int limit, int here_limit) : limit_(std::max(1, limit)), here_limit_(std::max(0, here_limit)) {}

bool CallGate::TryEnterHere() {
  std::lock_guard lock(mutex_);
  if (running_ >= limit_ || running_here_ >= here_limit_) return false;
  ++running_;
  ++running_here_;
  return true;
}

bool CallGate::TryEnter() {
  std::lock_guard lock(mutex_);
  if (running_ >= limit_) return false;
  ++running_;
  return true;
}

CallGate::Call CallGate::Queue(Call later) {
  std::lock_guard lock(mutex_);
  if (running_ < limit_) {
    ++running_;
    return later;
  }
  waiting_.push_back(std::move(later));
  return {};
}

CallGate::Call CallGate::Leave() {
  std::unique_lock lock(mutex_);
  return PassOn(lock);
}

CallGate::Call CallGate::LeaveHere() {
  std::unique_lock lock(mutex_);
  --running_here_;
  return PassOn(lock);
}

CallGate::Call CallGate::PassOn(std::unique_lock<std::mutex>& /*held*/) {
  if (waiting_.empty()) {
    --running_;
    return {};
  }
  Call next = std::move(waiting_.front());
  waiting_.pop_front();
  return next;  // the turn passes on: running_ stays
}

}  // namespace srv
