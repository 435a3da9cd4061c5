#include "server/core/change_feed.h"

#include <algorithm>

namespace srv {

std::uint64_t ChangeFeed::Wait(const std::vector<ChangeKey>& keys, Wake wake) {
  std::lock_guard lock(mutex_);
  const std::uint64_t ticket = ++next_ticket_;
  for (const ChangeKey& key : keys) by_key_.emplace(key, ticket);
  waits_.emplace(ticket, std::make_pair(keys, std::move(wake)));
  return ticket;
}

// Removes the waits of the tickets (those still there) and hands back their callbacks.
std::vector<ChangeFeed::Wake> ChangeFeed::TakeLocked(const std::vector<std::uint64_t>& tickets) {
  std::vector<Wake> woken;
  for (const std::uint64_t ticket : tickets) {
    const auto it = waits_.find(ticket);
    if (it == waits_.end()) continue;
    for (const ChangeKey& key : it->second.first) {
      auto [first, last] = by_key_.equal_range(key);
      for (auto k = first; k != last;) k = k->second == ticket ? by_key_.erase(k) : std::next(k);
    }
    woken.push_back(std::move(it->second.second));
    waits_.erase(it);
  }
  return woken;
}

bool ChangeFeed::Cancel(std::uint64_t ticket) {
  std::vector<Wake> taken;
  {
    std::lock_guard lock(mutex_);
    taken = TakeLocked({ticket});
  }
  return !taken.empty();  // the callback is dropped here, outside the lock
}

void ChangeFeed::Changed(const std::vector<ChangeKey>& keys) {
  std::vector<Wake> woken;
  {
    std::lock_guard lock(mutex_);
    std::vector<std::uint64_t> tickets;
    for (const ChangeKey& key : keys) {
      auto [first, last] = by_key_.equal_range(key);
      for (auto k = first; k != last; ++k) tickets.push_back(k->second);
    }
    std::sort(tickets.begin(), tickets.end());
    tickets.erase(std::unique(tickets.begin(), tickets.end()), tickets.end());
    woken = TakeLocked(tickets);
  }
  for (Wake& wake : woken) wake();
}

void ChangeFeed::Resync() {
  std::vector<Wake> woken;
  {
    std::lock_guard lock(mutex_);
    std::vector<std::uint64_t> tickets;
    tickets.reserve(waits_.size());
    for (const auto& [ticket, wait] : waits_) tickets.push_back(ticket);
    woken = TakeLocked(tickets);
  }
  for (Wake& wake : woken) wake();
}

std::size_t ChangeFeed::Waiting() const {
  std::lock_guard lock(mutex_);
  return waits_.size();
}

}  // namespace srv
