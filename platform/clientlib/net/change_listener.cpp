#include "platform/clientlib/net/change_listener.h"

#include <algorithm>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace clib {
namespace {

using json = nlohmann::json;
using std::chrono::milliseconds;

constexpr int kWaitSeconds = 25;           // what the server allows at most
constexpr int kReadMarginSeconds = 10;     // beyond the wait, before the exchange counts as lost
constexpr auto kRetryPause = milliseconds(1000);
constexpr auto kSeenWindow = std::chrono::seconds(30);  // beyond the server's window for late commits

std::optional<std::int64_t> OptionalId(const json& value) {
  return value.is_number_integer() ? std::optional<std::int64_t>(value.get<std::int64_t>()) : std::nullopt;
}

TChange ChangeOf(const json& c) {
  TChange change;
  change.id = c.value("id", std::int64_t{0});
  change.at = c.value("at", std::int64_t{0});
  change.operator_id = c.value("operator", "");
  change.action = c.value("action", "");
  change.shift = c.value("shift", "");
  change.product = c.value("product", "");
  change.old_supplier = c.value("old_supplier", "");
  change.new_supplier = c.value("new_supplier", "");
  if (const auto a = c.find("allocation"); a != c.end()) change.allocation = OptionalId(*a);
  return change;
}

}  // namespace

struct TChangeListener::TPollResult {
  enum class Outcome { Heard, Failed, SignedOut, Superseded };
  TPollResult(Outcome o, std::int64_t c = 0) : outcome(o), cursor(c) {}  // NOLINT(google-explicit-constructor)
  Outcome outcome;
  std::int64_t cursor;
  std::vector<TChange> changes;
  std::vector<std::int64_t> recent;  // of a poll from now on: ids to count as seen
};

TChangeListener::TChangeListener(TDeliver deliver) : deliver_(std::move(deliver)), thread_([this] { Run(); }) {}

TChangeListener::~TChangeListener() {
  StopListening();
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool TChangeListener::Listen(const TChangeKey& key, const TListenTarget& target) {
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    generation = ++generation_;
    key_ = key;
    target_ = target;
    cursor_.reset();
    seen_.clear();
    for (void* exchange : exchanges_) static_cast<httplib::Client*>(exchange)->stop();
  }
  const TPollResult now = Exchange(key, target, std::nullopt, {}, 0, generation);
  {
    std::lock_guard lock(mutex_);
    if (generation_ == generation && now.outcome == TPollResult::Outcome::Heard) {
      cursor_ = now.cursor;
      SeenLocked(now.recent);
    }
  }
  changed_.notify_all();
  return now.outcome == TPollResult::Outcome::Heard;
}

void TChangeListener::StopListening() {
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    key_.reset();
    for (void* exchange : exchanges_) static_cast<httplib::Client*>(exchange)->stop();
  }
  changed_.notify_all();
}

TChangeListener::TPollResult TChangeListener::Exchange(const TChangeKey& key, const TListenTarget& target,
                                                       std::optional<std::int64_t> after,
                                                       const std::vector<std::int64_t>& seen, int wait_seconds,
                                                       std::uint64_t generation) {
  json subscription = {{"branch", key.branch}, {"number", key.number}, {"sequence", key.sequence}};
  if (after) subscription["after"] = *after;
  if (!seen.empty()) subscription["seen"] = seen;
  const json request = {{"subscriptions", json::array({subscription})}, {"wait", wait_seconds}};

  httplib::Client client((target.https ? "https://" : "http://") + target.host + ":" + std::to_string(target.port));
  if (target.https) {
    client.enable_server_certificate_verification(true);
    if (!target.ca_file.empty()) client.set_ca_cert_path(target.ca_file.c_str());
  }
  client.set_connection_timeout(5, 0);
  client.set_read_timeout(wait_seconds + kReadMarginSeconds, 0);
  {
    std::lock_guard lock(mutex_);
    if (generation_ != generation) return {TPollResult::Outcome::Superseded};
    exchanges_.push_back(&client);
  }
  const httplib::Headers headers = {{"Authorization", "Bearer " + target.token}};
  const httplib::Result result = client.Post("/changes", headers, request.dump(), "application/json");
  {
    std::lock_guard lock(mutex_);
    exchanges_.erase(std::find(exchanges_.begin(), exchanges_.end(), &client));
    if (generation_ != generation) return {TPollResult::Outcome::Superseded};
  }
  if (!result) return {TPollResult::Outcome::Failed};
  if (result->status == 401) return {TPollResult::Outcome::SignedOut};
  if (result->status != 200) return {TPollResult::Outcome::Failed};
  const json answer = json::parse(result->body, nullptr, false);
  const auto cursors = answer.find("cursors");
  if (!answer.is_object() || cursors == answer.end() || !cursors->is_array() || cursors->empty() ||
      !(*cursors)[0].is_number_integer()) {
    return {TPollResult::Outcome::Failed};
  }
  TPollResult heard{TPollResult::Outcome::Heard, (*cursors)[0].get<std::int64_t>()};
  if (const auto recent = answer.find("recent"); recent != answer.end() && recent->is_array() && !recent->empty()) {
    for (const json& id : (*recent)[0]) {
      if (id.is_number_integer()) heard.recent.push_back(id.get<std::int64_t>());
    }
  }
  if (const auto changes = answer.find("changes"); changes != answer.end() && changes->is_array()) {
    for (const json& c : *changes) {
      if (c.is_object()) heard.changes.push_back(ChangeOf(c));
    }
  }
  return heard;
}

void TChangeListener::SeenLocked(const std::vector<std::int64_t>& ids) {
  const auto now = std::chrono::steady_clock::now();
  for (const std::int64_t id : ids) seen_.emplace_back(id, now);
}

std::vector<std::int64_t> TChangeListener::RecentlySeenLocked() {
  const auto now = std::chrono::steady_clock::now();
  while (!seen_.empty() && now - seen_.front().second > kSeenWindow) seen_.pop_front();
  std::vector<std::int64_t> ids;
  ids.reserve(seen_.size());
  for (const auto& [id, when] : seen_) ids.push_back(id);
  return ids;
}

void TChangeListener::PauseLocked(std::unique_lock<std::mutex>& lock, milliseconds pause, std::uint64_t generation) {
  changed_.wait_for(lock, pause, [&] { return quit_ || generation_ != generation; });
}

void TChangeListener::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return quit_ || key_.has_value(); });
    if (quit_) return;
    const std::uint64_t generation = generation_;
    const TChangeKey key = *key_;
    const TListenTarget target = target_;
    const std::optional<std::int64_t> after = cursor_;
    const std::vector<std::int64_t> seen = RecentlySeenLocked();
    lock.unlock();
    TPollResult result = Exchange(key, target, after, seen, after ? kWaitSeconds : 0, generation);
    lock.lock();
    if (generation_ != generation) continue;
    switch (result.outcome) {
      case TPollResult::Outcome::Superseded:
        continue;
      case TPollResult::Outcome::SignedOut:  // the session is over: nothing more to hear with it
        key_.reset();
        continue;
      case TPollResult::Outcome::Failed:
        PauseLocked(lock, kRetryPause, generation);
        continue;
      case TPollResult::Outcome::Heard:
        break;
    }
    cursor_ = std::max(cursor_.value_or(0), result.cursor);
    SeenLocked(result.recent);
    std::vector<TChange> fresh;
    const auto now = std::chrono::steady_clock::now();
    for (TChange& change : result.changes) {
      const bool known = std::any_of(seen_.begin(), seen_.end(), [&](const auto& s) { return s.first == change.id; });
      if (known) continue;
      seen_.emplace_back(change.id, now);
      fresh.push_back(std::move(change));
    }
    if (fresh.empty()) continue;
    lock.unlock();
    deliver_(key, std::move(fresh));
    lock.lock();
  }
}

}  // namespace clib
