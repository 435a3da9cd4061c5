// The sessions this server found valid lately, so that a call need not read its session
// from the database every time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "server/service.h"

namespace srv {

// Keyed by the whole token, so a token only ever finds the session it was found valid
// for. An entry is trusted for `recheck` after the database said it was valid, and never
// at or past the session's own expiry: a session deleted or changed in the database
// (its operator's branches, by another server) is seen within `recheck`; an expired one
// at once. Only valid sessions are kept, so forged tokens cannot fill it; at
// `max_entries` the stale entries go, and all of them when none is stale.
class SessionCache {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  SessionCache(std::chrono::milliseconds recheck, std::size_t max_entries, Clock clock = std::chrono::steady_clock::now);

  // The session of `token` as last found valid, when that is recent enough and it has
  // not expired by `now_seconds` (the wall clock the sessions table's expiry is in).
  std::optional<Session> Find(const std::string& token, std::int64_t now_seconds) const;
  // `token` was found valid just now, until `expires_at` (seconds).
  void Remember(const std::string& token, const Session& session, std::int64_t expires_at);
  bool Enabled() const { return recheck_.count() > 0; }

 private:
  struct Entry {
    Session session;
    std::int64_t expires_at;
    std::chrono::steady_clock::time_point checked_at;
  };
  void DropStale(std::chrono::steady_clock::time_point now);

  const std::chrono::milliseconds recheck_;
  const std::size_t max_entries_;
  const Clock clock_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace srv
