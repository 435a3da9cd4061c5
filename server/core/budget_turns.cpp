#include "server/core/budget_turns.h"

#include <algorithm>

namespace srv {

std::string BudgetTurns::Key(const std::string& branch, const std::string& number, const std::string& sequence) {
  return branch + '\x1f' + number + '\x1f' + sequence;  // a separator no key holds
}

BudgetTurns::Turn BudgetTurns::Take(std::vector<std::string> keys) {
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  for (const std::string& key : keys) TakeOne(key);
  return Turn(*this, std::move(keys));
}

void BudgetTurns::TakeOne(const std::string& key) {
  std::unique_lock lock(mutex_);
  std::deque<Waiter*>& queue = queues_[key];
  Waiter me;
  queue.push_back(&me);
  me.woken.wait(lock, [&] { return queue.front() == &me; });
  queue.front() = nullptr;  // the holder: nobody waits on it
}

void BudgetTurns::Release(const std::vector<std::string>& keys) {
  if (keys.empty()) return;
  std::lock_guard lock(mutex_);
  for (const std::string& key : keys) {
    const auto it = queues_.find(key);
    it->second.pop_front();
    if (it->second.empty()) {
      queues_.erase(it);
    } else {
      it->second.front()->woken.notify_one();  // only the next in line wakes
    }
  }
}

}  // namespace srv
