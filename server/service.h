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
};

struct LoginResult {
  std::string token;
  Session session;
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
