// The business layer behind AllocService: sign-in, sessions and the dispatch of the
// methods of "EVT04700.rdmAloc" over a pool of database connections.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "server/core/budget_turns.h"
#include "server/core/change_feed.h"
#include "server/core/change_notices.h"
#include "server/core/connection_pool.h"
#include "server/core/service_factory.h"
#include "server/core/session_cache.h"

namespace srv {

class DbAllocService final : public AllocService {
 public:
  DbAllocService(StorageConfig config, ConnectionPool::Opener opener);

  std::optional<LoginResult> Login(const std::string& operator_id, const std::string& password) override;
  std::optional<Session> Authenticate(const std::string& token) override;
  rt::Variant Call(const Session& session, const std::string& method, std::vector<rt::Variant>& params) override;
  bool CallToText(const Session& session, const std::string& method, std::vector<rt::Variant>& params,
                  std::string& out) override;
  bool DatabaseReachable() override;
  ChangesAnswer ChangesSince(const Session& session, const std::vector<ChangeCursor>& cursors) override;
  ChangeFeed* Feed() override { return &feed_; }
  std::vector<std::string> MethodNames() const override;
  DatabaseConnectionCount DatabaseConnections() const override { return {pool_.InUse(), pool_.Idle()}; }

 private:
  // SQLite: tells the feed of the budget sequences whose history grew since it was last
  // told (one server holds the file, and its writes commit one at a time in id order).
  void TellFeed();
  // Runs `work(db)` on a pooled connection and, when that connection broke before
  // anything could have been committed, once more on a new one. Database failures
  // become the clerk's texts (ServiceError), their detail goes to the log.
  template <class Work>
  auto WithConnection(const std::string& what, Work work);
  // Runs `run(context)` for a method, as WithConnection does.
  template <class Run>
  auto Guarded(const Session& session, const std::string& method, std::vector<rt::Variant>& params, Run run);
  std::vector<std::string> BranchesOf(Database& db, const std::string& operator_id);

  StorageConfig config_;
  ConnectionPool pool_;
  BudgetTurns turns_;
  SessionCache sessions_;
  std::string dummy_hash_;  // verified against when the operator is unknown, so timing tells nothing
  std::mutex probe_mutex_;  // one check of the database at a time (DatabaseReachable)
  std::atomic<bool> reachable_{true};
  std::atomic<std::int64_t> probe_started_ms_{0};
  ChangeFeed feed_;
  std::mutex told_mutex_;
  std::int64_t told_up_to_ = 0;             // SQLite: the last history id the feed was told of
  std::unique_ptr<ChangeNotices> notices_;  // PostgreSQL; last: stops before the rest goes
};

}  // namespace srv
