// POST /changes: a long poll for the changes other clerks commit to budget sequences.
//   request   header "Authorization: Bearer <token>"; body
//             {"subscriptions":[{"branch":"0001","number":"0000000012","sequence":"01",
//                                "after":123,"seen":[121]}], "wait":25}
//             "after" absent or null: from now on (the answer carries the cursor to use);
//             "seen": ids at or below "after" heard in the last seconds; "wait" seconds
//             (0..25, default 25).
//   answer    {"changes":[{"id":124,"at":1765432100,"operator":"ana","action":"ALOCACAO",
//                          "branch":..,"number":..,"sequence":..,"shift":..,"product":..,
//                          "allocation":7,"old_supplier":..,"new_supplier":..,"entries":..}],
//              "cursors":[124], "more":false, "recent":[[122,123]]}
//             "recent" (only when a subscription is from now on): per subscription, the
//             ids at or below its cursor written in the last seconds, to count as seen
//             at once when there are changes the session did not make itself; otherwise
//             when one commits, or with no changes when the wait is over.
//   failures  the JSON-RPC error body: 400 a bad request, 401 not signed in, 403 a branch
//             the operator was not granted, 503 the database failed.
// Waiting holds no thread: the HTTP server parks the connection on the change feed and
// reads again when woken (http_server.cpp).
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "server/core/change_feed.h"
#include "server/rpc/rpc_handler.h"
#include "server/service.h"

namespace srv {

inline constexpr int kMaxChangeWaitSeconds = 25;
inline constexpr std::size_t kMaxSubscriptions = 16;
inline constexpr std::size_t kMaxSeenIds = 1000;

class ChangePoll {
 public:
  // Reads the request and checks the token (the database: call it where blocking is
  // allowed). The poll, or the failure's answer.
  static std::variant<std::shared_ptr<ChangePoll>, RpcReply> Begin(AllocService& service, std::string_view body,
                                                                     std::string_view authorization);

  // Reads what changed since the cursors (the database). The answer when there is news
  // for the clerk, nullopt when the poll should wait for a change.
  std::optional<RpcReply> Read();
  // The answer when the wait ends with nothing heard (no database).
  RpcReply Quiet() const;

  std::chrono::seconds Wait() const { return wait_; }
  const std::vector<ChangeKey>& Keys() const { return keys_; }

 private:
  ChangePoll(AllocService& service, Session session, std::vector<ChangeCursor> cursors, std::chrono::seconds wait);
  RpcReply AnswerOf(const std::vector<ChangeEvent>& events, bool more) const;

  AllocService& service_;
  const Session session_;
  std::vector<ChangeCursor> cursors_;
  std::vector<ChangeKey> keys_;
  std::vector<std::vector<std::int64_t>> recent_;  // per subscription, of a poll from now on
  const std::chrono::seconds wait_;
};

}  // namespace srv
