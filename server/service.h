// The seam between the server's protocol layer (JSON-RPC over HTTP) and its business
// layer (the methods of the remote data module "EVT04700.rdmAloc" over the database).
// The protocol layer decodes a request into variants, asks this interface, and encodes
// the answer; it knows nothing of SQL. The business layer knows nothing of HTTP.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/runtime/variant.h"

namespace srv {

// A refusal or failure of a method, shown to the clerk: `what()` is the server's text
// (for the account operations an "N_PARAM_" key, optionally followed by "|" and its
// argument). Maps to a JSON-RPC error with code -32000.
struct ServiceError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A branch the session's operator was not granted (a ServiceError like any other to the
// methods' callers; the change feed answers it with 403).
struct BranchRefused : ServiceError {
  using ServiceError::ServiceError;
};

// Wrong arity or types of a method's parameters. Maps to JSON-RPC -32602.
struct InvalidParams : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// No such method. Maps to JSON-RPC -32601.
struct UnknownMethod : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The signed-in operator on whose behalf a call runs.
struct Session {
  std::string operator_id;
  std::vector<std::string> branches;  // branch codes this operator may use
  // Names the session without being its token (the first 16 hex digits of the token's
  // hash): the history notes which session made each change, so that the change feed
  // does not echo a clerk's own changes back to them.
  std::string ref;
};

struct LoginResult {
  std::string token;
  Session session;
};

class ChangeFeed;  // server/core/change_feed.h

// A subscription to one budget sequence's changes: the id of the last change the
// subscriber heard of (none: from now on), and the ids at or below it it has seen in
// the last seconds (a change may commit after a later one: history.h, LateHistory).
struct ChangeCursor {
  std::string branch, number, sequence;
  std::optional<std::int64_t> after;
  std::vector<std::int64_t> seen;
};

// One committed change, as the subscribers hear of it (a line of the history).
struct ChangeEvent {
  std::int64_t id = 0;
  std::int64_t at = 0;  // Unix seconds
  std::string operator_id, action, branch, number, sequence, shift, product;
  std::optional<std::int64_t> allocation_id;
  std::string old_supplier, new_supplier, entry_numbers;
};

struct ChangesAnswer {
  std::vector<ChangeEvent> events;    // other sessions' changes, oldest first
  std::vector<std::int64_t> cursors;  // per subscription, the id it has now heard of
  // Per subscription from now on: the ids at or below its cursor written in the last
  // seconds, for the subscriber to count as seen (a line below the cursor that is not
  // among them committed after "now"). Empty for the others.
  std::vector<std::vector<std::int64_t>> recent;
  bool more = false;  // more changes than one answer holds: ask again at once
};

class AllocService {
 public:
  virtual ~AllocService() = default;

  // Checks the password; on success opens a session and returns its random token.
  virtual std::optional<LoginResult> Login(const std::string& operator_id, const std::string& password) = 0;
  // The session of a valid, unexpired token; nullopt for unknown, forged or expired ones.
  virtual std::optional<Session> Authenticate(const std::string& token) = 0;

  // Runs one method of "EVT04700.rdmAloc" by its short name ("GetAlocaForne").
  // `params` are positional; the method may rewrite the by-reference ones in place,
  // and the caller sends them all back. Throws ServiceError, InvalidParams or
  // UnknownMethod; never half-applies a change.
  virtual rt::Variant Call(const Session& session, const std::string& method, std::vector<rt::Variant>& params) = 0;

  // The same call for a method whose answer the business layer writes as JSON text
  // itself, straight from the database's rows (no variants): appends to `out` the bytes
  // rt::EncodeVariantTo would append for Call's value and returns true. Returns false,
  // having run and written nothing, for the other methods.
  virtual bool CallToText(const Session& /*session*/, const std::string& /*method*/,
                          std::vector<rt::Variant>& /*params*/, std::string& /*out*/) {
    return false;
  }

  // The changes to the subscribed budget sequences since their cursors, leaving out the
  // session's own. Throws ServiceError for a branch the operator was not granted.
  virtual ChangesAnswer ChangesSince(const Session& /*session*/, const std::vector<ChangeCursor>& cursors) {
    ChangesAnswer none;
    none.cursors.assign(cursors.size(), 0);
    none.recent.resize(cursors.size());
    return none;
  }
  // The feed that wakes the subscribers when a change commits; nullptr: none (a
  // subscriber then hears of changes when its wait ends).
  virtual ChangeFeed* Feed() { return nullptr; }

  // Whether the database answers now (GET /health). Returns within the database's
  // bound; while one check waits, others answer from what is known.
  virtual bool DatabaseReachable() { return true; }

  // The short names of the methods Call runs, to count calls by (GET /metrics).
  virtual std::vector<std::string> MethodNames() const { return {}; }
  // Database connections lent to calls now, and those open and idle.
  struct DatabaseConnectionCount {
    std::int64_t in_use = 0;
    std::int64_t idle = 0;
  };
  virtual DatabaseConnectionCount DatabaseConnections() const { return {}; }
};

}  // namespace srv
