#include "server/rpc/sign_in_throttle.h"

#include <algorithm>
#include <vector>

#include <spdlog/spdlog.h>

namespace srv {
namespace {

// Beyond this many remembered counts, stale ones are dropped before adding another, so
// that guessing with ever new operator names cannot grow the table without end.
constexpr std::size_t kPruneAbove = 4096;

std::vector<std::string> Keys(std::string_view operator_id, std::string_view address) {
  std::vector<std::string> keys{"op:" + std::string(operator_id)};
  if (!address.empty()) keys.push_back("ip:" + std::string(address));
  return keys;
}

}  // namespace

SignInThrottle::SignInThrottle(SignInPolicy policy, Clock clock)
    : policy_(policy), clock_(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)) {}

std::optional<std::chrono::seconds> SignInThrottle::LockedFor(std::string_view operator_id, std::string_view address) {
  const TimePoint now = clock_();
  std::lock_guard lock(mutex_);
  std::optional<std::chrono::seconds> longest;
  for (const std::string& key : Keys(operator_id, address)) {
    const auto it = counts_.find(key);
    if (it == counts_.end() || it->second.locked_until <= now) continue;
    // Rounded up: "wait 0 seconds" must never be said while still locked.
    const auto left = std::chrono::ceil<std::chrono::seconds>(it->second.locked_until - now);
    longest = std::max(longest.value_or(left), left);
  }
  return longest;
}

std::chrono::milliseconds SignInThrottle::Record(Count& count, TimePoint now) const {
  if (count.failures > 0 && now - count.last_failure > policy_.forget_after) count.failures = 0;
  ++count.failures;
  count.last_failure = now;
  if (count.failures >= policy_.lock_after) count.locked_until = now + policy_.lock_for;
  const int over = count.failures - policy_.free_failures;
  if (over <= 0) return std::chrono::milliseconds(0);
  auto delay = policy_.first_delay;
  for (int i = 1; i < over && delay < policy_.max_delay; ++i) delay *= 2;
  return std::min(delay, policy_.max_delay);
}

std::chrono::milliseconds SignInThrottle::Failed(std::string_view operator_id, std::string_view address) {
  const TimePoint now = clock_();
  std::lock_guard lock(mutex_);
  if (counts_.size() > kPruneAbove) ForgetStale(now);
  std::chrono::milliseconds delay(0);
  for (const std::string& key : Keys(operator_id, address)) {
    Count& count = counts_[key];
    const bool was_locked = count.locked_until > now;
    delay = std::max(delay, Record(count, now));
    if (!was_locked && count.locked_until > now) {
      spdlog::warn("sign-in: {} wrong passwords in a row for {}; refused for {} s", count.failures, key,
                   policy_.lock_for.count());
    }
  }
  return delay;
}

void SignInThrottle::Succeeded(std::string_view operator_id, std::string_view address) {
  std::lock_guard lock(mutex_);
  for (const std::string& key : Keys(operator_id, address)) counts_.erase(key);
}

void SignInThrottle::ForgetStale(TimePoint now) {
  std::erase_if(counts_, [&](const auto& entry) {
    return entry.second.locked_until <= now && now - entry.second.last_failure > policy_.forget_after;
  });
}

std::string SignInThrottle::LockedText(std::chrono::seconds remaining) {
  const long long seconds = remaining.count();
  const std::string wait = seconds > 60 ? std::to_string((seconds + 59) / 60) + " minuto(s)"
                                        : std::to_string(std::max(1LL, seconds)) + " segundo(s)";
  return "Acesso bloqueado por excesso de tentativas com senha inválida. Aguarde " + wait + " e tente novamente.";
}

}  // namespace srv
