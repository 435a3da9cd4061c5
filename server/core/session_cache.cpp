#include "server/core/session_cache.h"

#include <iterator>
#include <utility>

namespace srv {

SessionCache::SessionCache(std::chrono::milliseconds recheck, std::size_t max_entries, Clock clock)
    : recheck_(recheck), max_entries_(max_entries), clock_(std::move(clock)) {}

std::optional<Session> SessionCache::Find(const std::string& token, std::int64_t now_seconds) const {
  if (!Enabled()) return std::nullopt;
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  const auto it = entries_.find(token);
  if (it == entries_.end()) return std::nullopt;
  const Entry& entry = it->second;
  if (now - entry.checked_at >= recheck_ || now_seconds >= entry.expires_at) return std::nullopt;
  return entry.session;
}

void SessionCache::Remember(const std::string& token, const Session& session, std::int64_t expires_at) {
  if (!Enabled()) return;
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  if (entries_.size() >= max_entries_ && entries_.find(token) == entries_.end()) DropStale(now);
  entries_.insert_or_assign(token, Entry{session, expires_at, now});
}

void SessionCache::DropStale(std::chrono::steady_clock::time_point now) {
  for (auto it = entries_.begin(); it != entries_.end();) {
    it = now - it->second.checked_at >= recheck_ ? entries_.erase(it) : std::next(it);
  }
  if (entries_.size() >= max_entries_) entries_.clear();
}

}  // namespace srv
