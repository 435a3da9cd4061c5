// The change feed: who waits to hear of changes to which budget sequences, woken when a
// change to one of them has committed. A waiter holds no thread: it is a callback run
// once, by whoever tells the feed (the service after a write on SQLite, the notice
// listener on PostgreSQL), after which the waiter reads what changed from the history
// (ChangesAfter, history.h) by its cursor. So the feed carries no change itself: a
// waiter woken twice, or woken for nothing, reads nothing new, and one that was not
// waiting when a change came finds it by its cursor when it asks next.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace srv {

// The PostgreSQL channel of the change notices (migration 6's trigger).
inline constexpr const char* kChangesChannel = "alloc_changes";

// A budget sequence, as a subscription names it.
struct ChangeKey {
  std::string branch, number, sequence;
  auto operator<=>(const ChangeKey&) const = default;
};

class ChangeFeed {
 public:
  using Wake = std::function<void()>;

  // Registers `wake` for the keys: it runs once, at the first change to one of them or
  // at Resync, on the thread that tells the feed, outside the feed's lock. Returns the
  // ticket that withdraws it.
  std::uint64_t Wait(const std::vector<ChangeKey>& keys, Wake wake);
  // Withdraws a wait; false when it was already woken.
  bool Cancel(std::uint64_t ticket);
  // Changes to these keys committed: wakes their waiters.
  void Changed(const std::vector<ChangeKey>& keys);
  // Wakes every waiter: changes may have gone unheard (the notice connection broke).
  void Resync();
  std::size_t Waiting() const;

 private:
  std::vector<Wake> TakeLocked(const std::vector<std::uint64_t>& tickets);

  mutable std::mutex mutex_;
  std::uint64_t next_ticket_ = 0;
  std::map<std::uint64_t, std::pair<std::vector<ChangeKey>, Wake>> waits_;
  std::multimap<ChangeKey, std::uint64_t> by_key_;
};

}  // namespace srv
