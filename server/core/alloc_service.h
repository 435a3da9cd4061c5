// The business layer behind AllocService: sign-in, sessions and the dispatch of the
// methods of "EVT04700.rdmAloc" over a pool of database connections.
#pragma once

#include <memory>
#include <string>

#include "server/core/budget_turns.h"
#include "server/core/connection_pool.h"
#include "server/core/service_factory.h"

namespace srv {

class DbAllocService final : public AllocService {
 public:
  DbAllocService(StorageConfig config, ConnectionPool::Opener opener);

  std::optional<LoginResult> Login(const std::string& operator_id, const std::string& password) override;
  std::optional<Session> Authenticate(const std::string& token) override;
  rt::Variant Call(const Session& session, const std::string& method, std::vector<rt::Variant>& params) override;
  bool CallToText(const Session& session, const std::string& method, std::vector<rt::Variant>& params,
                  std::string& out) override;

 private:
  // Runs `run(context)` on a pooled connection, database failures turned into the
  // clerk's texts.
  template <class Run>
  auto Guarded(const Session& session, const std::string& method, std::vector<rt::Variant>& params, Run run);
  std::vector<std::string> BranchesOf(Database& db, const std::string& operator_id);

  StorageConfig config_;
  ConnectionPool pool_;
  BudgetTurns turns_;
  std::string dummy_hash_;  // verified against when the operator is unknown, so timing tells nothing
};

}  // namespace srv
