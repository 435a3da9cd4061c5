// Saves of one budget sequence take their turns in the order they came.
//
// The database keeps apart what two saves could break together (their row locks), but
// PostgreSQL's locks are not first come, first served: when a holder commits, the
// waiter it wakes must still get a core, and a save that arrives meanwhile goes first.
// With many clerks saving one budget on busy cores, some saves were overtaken again and
// again (waits past 100 ms while the median was 10 ms). A turn taken here, before the
// transaction's locks, queues them in arrival order; a save passes it on before its
// COMMIT, so the commits of one budget still overlap and share the log's flushes.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace srv {

class BudgetTurns {
 public:
  // Holds the turns of some budget sequences until it goes or passes them on.
  class Turn {
   public:
    Turn(BudgetTurns& owner, std::vector<std::string> keys) : owner_(owner), keys_(std::move(keys)) {}
    ~Turn() { PassOn(); }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

    // Lets the next in line go now; a second call does nothing. A save passes its turn
    // on just before its COMMIT: the rows it locked keep the next save's reads behind the
    // commit, while the next save's wake-up overlaps it.
    void PassOn() {
      owner_.Release(keys_);
      keys_.clear();
    }

   private:
    BudgetTurns& owner_;
    std::vector<std::string> keys_;
  };

  static std::string Key(const std::string& branch, const std::string& number, const std::string& sequence);

  // Waits for the turn of every key (in sorted order, so that two calls sharing keys
  // cannot each hold one the other waits for). No keys: nothing to wait for.
  Turn Take(std::vector<std::string> keys);

 private:
  struct Waiter {
    std::condition_variable woken;
  };

  void TakeOne(const std::string& key);
  void Release(const std::vector<std::string>& keys);

  std::mutex mutex_;
  // Per key: the holder (null), then the waiting in the order they came.
  std::map<std::string, std::deque<Waiter*>> queues_;
};

}  // namespace srv
