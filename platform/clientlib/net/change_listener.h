// Hearing other clerks' changes to one budget sequence as they commit: a long poll on
// the server's POST /changes (docs/protocol.md), on a thread of the listener's own, as
// the session of the connection the screen works through (so the server leaves that
// connection's own changes out). Each batch heard goes to `deliver` on the listener's
// thread; the host passes it on to its UI thread. A dropped link or a server restart is
// tried again every second with the cursor kept, so what committed meanwhile is heard
// when it is back, and never twice.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clientlib/net/net_connection.h"

namespace clib {

struct TChangeKey {
  std::string branch, number, sequence;
  bool operator==(const TChangeKey&) const = default;
};

// One change another clerk committed (a line of the server's allocation history).
struct TChange {
  std::int64_t id = 0;
  std::int64_t at = 0;  // Unix seconds
  std::string operator_id, action, shift, product, old_supplier, new_supplier;
  std::optional<std::int64_t> allocation;
};

class TChangeListener {
 public:
  using TDeliver = std::function<void(const TChangeKey&, std::vector<TChange>)>;

  explicit TChangeListener(TDeliver deliver);
  ~TChangeListener();
  TChangeListener(const TChangeListener&) = delete;
  TChangeListener& operator=(const TChangeListener&) = delete;

  // Listens to `key` from now on, as `target`'s session, instead of what it listened to.
  // Asks the server for "now" before it returns (one short exchange), so that a load
  // made right after misses nothing: a change committed between the two is heard too.
  // False when the server could not be asked; it keeps trying in the background then.
  bool Listen(const TChangeKey& key, const TListenTarget& target);
  void StopListening();

 private:
  struct TPollResult;
  void Run();
  // One exchange with the server; `wait_seconds` 0 asks for the cursor "now".
  TPollResult Exchange(const TChangeKey& key, const TListenTarget& target, std::optional<std::int64_t> after,
                       const std::vector<std::int64_t>& seen, int wait_seconds, std::uint64_t generation);
  // Ids heard in the last seconds (the server may still show a late commit below the cursor).
  std::vector<std::int64_t> RecentlySeenLocked();
  void SeenLocked(const std::vector<std::int64_t>& ids);
  // Waits up to `pause` unless the listener stops or listens to something else.
  void PauseLocked(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds pause, std::uint64_t generation);

  TDeliver deliver_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool quit_ = false;
  std::uint64_t generation_ = 0;  // grows with each Listen/StopListening
  std::optional<TChangeKey> key_;
  TListenTarget target_;
  std::optional<std::int64_t> cursor_;
  std::deque<std::pair<std::int64_t, std::chrono::steady_clock::time_point>> seen_;
  std::vector<void*> exchanges_;  // the httplib clients of the exchanges under way, stopped by a new Listen
  std::thread thread_;
};

}  // namespace clib
