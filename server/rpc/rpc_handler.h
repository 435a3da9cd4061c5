// The protocol layer of the application server "EVT04700.rdmAloc", without sockets:
// request bytes and the Authorization header in, response bytes out. The HTTP server
// (http_server.h), the fuzz entry and the tests all go through this one function.
//
// Wire format (JSON-RPC 2.0; docs/protocol.md has the full description):
//   request   {"jsonrpc":"2.0","id":N,"method":"EVT04700.rdmAloc.<Method>","params":[v, ...]}
//             header "Authorization: Bearer <token>"
//   sign-in   method "Auth.Login", params [operator, password], no token;
//             result {"token":"...","operator":"...","branches":["0001", ...]}
//   result    {"value": <variant>, "params": [<every param as the server left it>]}
//   failure   {"code": c, "message": "..."}: -32000 the server's own text, -32001 not signed
//             in, -32700 parse error, -32600 invalid request, -32601 unknown method,
//             -32602 invalid params, -32603 internal error.
//   batch     an array of requests answers an array of responses (notifications, i.e.
//             requests without "id", get none); at most RpcLimits::max_batch entries.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/runtime/packet_json.h"
#include "server/rpc/calls_in_flight.h"
#include "server/rpc/metrics.h"
#include "server/rpc/sign_in_throttle.h"
#include "server/service.h"

namespace srv {

namespace rpc {
inline constexpr int kServerError = -32000;  // the service refused; message is its text
inline constexpr int kNotSignedIn = -32001;  // no, unknown or expired token
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;

inline constexpr std::string_view kServerName = "EVT04700.rdmAloc";
inline constexpr std::string_view kLoginMethod = "Auth.Login";
}  // namespace rpc

struct RpcLimits {
  // JSON nesting of the whole body, refused before decoding: the envelope (batch, request,
  // params) plus what a variant may nest.
  int max_depth = rt::kMaxNestingDepth + 3;
  std::size_t max_batch = 100;  // requests in one batch
  SignInPolicy sign_in;         // throttling of wrong passwords
  // GET /metrics without a token from any address; otherwise only from loopback (other
  // addresses need a signed-in operator's token).
  bool metrics_from_any_address = false;
};

// What to send back: an HTTP status and a body. An empty body (a notification or a
// batch of notifications only) is sent as "204 No Content". `delay`: how long to hold
// the answer back (a throttled wrong password); the HTTP server waits without holding
// a worker.
struct RpcReply {
  RpcReply() = default;
  RpcReply(int status, std::string text, std::chrono::milliseconds wait = {})
      : http_status(status), body(std::move(text)), delay(wait) {}

  int http_status = 200;
  std::string body;
  std::chrono::milliseconds delay{0};
  const char* content_type = "application/json";
  // The values the body was written from: freed by whoever holds the reply once the
  // body is on its way (freeing a large grid's rows need not delay its answer).
  std::vector<rt::Variant> spent;
};

class RpcHandler {
 public:
  // `clock` drives the sign-in throttle (tests pass their own); empty: the steady clock.
  explicit RpcHandler(AllocService& service, RpcLimits limits = {}, SignInThrottle::Clock clock = {});

  // Answers one HTTP request body. Never throws: every fault becomes a JSON-RPC error.
  // `authorization` is the raw value of the Authorization header ("" when absent);
  // `peer` the client's address, by which wrong passwords are also counted ("" when
  // there is no network peer).
  RpcReply Handle(std::string_view body, std::string_view authorization, std::string_view peer = {}) const;

  // A complete JSON-RPC error response with a null id, for failures found before the
  // body is read (too large, wrong path).
  static std::string ErrorBody(int code, const std::string& message);

  // GET /health: 200 {"status":"ok"}, or 503 {"status":"database unreachable"} when the
  // database does not answer. Waits at most the database's bound.
  RpcReply Health() const;

  // GET /metrics (metrics.h), with the connections the HTTP side holds open; refused
  // with 401 unless allowed by RpcLimits::metrics_from_any_address, loopback or a token.
  RpcReply Metrics(std::string_view authorization, std::string_view peer, std::int64_t open_connections) const;

  // The methods running now, one line each ("SetForneMao from 127.0.0.1, running 2.0 s").
  std::vector<std::string> RunningCalls() const { return in_flight_.Describe(); }

 private:
  // Who asks, and what the answer must wait for.
  struct Caller {
    std::string_view authorization;
    std::string_view peer;
    std::chrono::milliseconds delay{0};
    std::vector<rt::Variant> spent;  // see RpcReply::spent
  };
  // Answers one request object with the response's text; nullopt means "no answer"
  // (notification).
  std::optional<std::string> HandleOne(const nlohmann::json& request, Caller& caller) const;
  // Appends the text of the result member of a success response to `out`.
  void Dispatch(const std::string& method, const nlohmann::json& params, Caller& caller, std::string& out) const;
  std::string Login(const nlohmann::json& params, Caller& caller) const;

  AllocService& service_;
  RpcLimits limits_;
  mutable SignInThrottle throttle_;
  mutable CallsInFlight in_flight_;
  mutable CallMetrics metrics_;
};

// The token of "Bearer <token>" (scheme case-insensitive), or "" when there is none.
std::string_view BearerToken(std::string_view authorization);

// The session of an Authorization header's token; without one, the JSON-RPC error code
// and message that say why: kNotSignedIn (no, unknown or expired token) or kServerError
// (the database failed: its text for the clerk). JSON-RPC calls, change polls and
// metrics from another machine all check their token here.
struct TokenCheck {
  std::optional<Session> session;
  int code = 0;
  std::string message;
};
TokenCheck CheckToken(AllocService& service, std::string_view authorization);

// Serialises a response; invalid UTF-8 coming from the database is replaced, not thrown.
std::string DumpJson(const nlohmann::json& value);

}  // namespace srv
