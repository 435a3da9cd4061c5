#include "server/rpc/rpc_handler.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include <spdlog/spdlog.h>

#include "platform/runtime/packet_json.h"

namespace srv {
namespace {

using nlohmann::json;

// A request that cannot be answered with a result: carried to the one place that
// builds the error response.
struct RpcFault {
  int code;
  std::string message;
};

struct TooDeep {};

json ErrorObject(const json& id, int code, const std::string& message) {
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

// A success response around a result already written as JSON text: the result is
// spliced in, never read back into a document.
// A success response is written in one string: this head, the result, then '}'.
std::string ResultHead(const json& id) {
  std::string text = R"({"jsonrpc":"2.0","id":)";
  text += DumpJson(id);
  text += R"(,"result":)";
  return text;
}

// Parses the body, refusing nesting deeper than `max_depth` before any of it is built
// (deep nesting would otherwise cost recursion further down).
json ParseBody(std::string_view body, int max_depth) {
  json::parser_callback_t guard = [max_depth](int depth, json::parse_event_t, json&) {
    if (depth > max_depth) throw TooDeep{};
    return true;
  };
  return json::parse(body.begin(), body.end(), guard);
}

bool IsValidId(const json& id) { return id.is_string() || id.is_number() || id.is_null(); }

// The name a method is counted under: its short name, or Auth.Login however it is named.
std::string_view CountedName(std::string_view method) {
  constexpr std::string_view kPrefix = "EVT04700.rdmAloc.";
  static_assert(kPrefix.substr(0, kPrefix.size() - 1) == rpc::kServerName);
  if (method.starts_with(kPrefix)) method.remove_prefix(kPrefix.size());
  return method;
}

std::vector<std::string> CountedMethods(const AllocService& service) {
  std::vector<std::string> names = service.MethodNames();
  names.emplace_back(rpc::kLoginMethod);
  return names;
}

std::vector<rt::Variant> DecodeParams(const json& params) {
  std::vector<rt::Variant> values;
  values.reserve(params.size());
  for (std::size_t i = 0; i < params.size(); ++i) {
    try {
      values.push_back(rt::VariantFromJson(params[i]));
    } catch (const rt::DecodeError& e) {
      throw RpcFault{rpc::kInvalidParams, "params[" + std::to_string(i) + "]: " + e.what()};
    }
  }
  return values;
}

}  // namespace

std::string DumpJson(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

RpcHandler::RpcHandler(AllocService& service, RpcLimits limits, SignInThrottle::Clock clock)
    : service_(service),
      limits_(limits),
      throttle_(limits.sign_in, std::move(clock)),
      metrics_(CountedMethods(service)) {}

std::string RpcHandler::ErrorBody(int code, const std::string& message) {
  return DumpJson(ErrorObject(nullptr, code, message));
}

RpcReply RpcHandler::Health() const {
  if (service_.DatabaseReachable()) return {200, R"({"status":"ok"})"};
  return {503, R"({"status":"database unreachable"})"};
}

RpcReply RpcHandler::Metrics(std::string_view authorization, std::string_view peer,
                             std::int64_t open_connections) const {
  if (!limits_.metrics_from_any_address && !IsLoopbackAddress(peer)) {
    const TokenCheck checked = CheckToken(service_, authorization);
    if (checked.code == rpc::kServerError) return {503, ErrorBody(rpc::kServerError, checked.message)};
    if (!checked.session) {
      return {401, ErrorBody(rpc::kNotSignedIn, "metrics from another machine need \"Authorization: Bearer <token>\"")};
    }
  }
  const AllocService::DatabaseConnectionCount database = service_.DatabaseConnections();
  RpcReply reply(200, metrics_.Exposition({open_connections, database.in_use, database.idle}));
  reply.content_type = kMetricsContentType;
  return reply;
}

RpcReply RpcHandler::Handle(std::string_view body, std::string_view authorization, std::string_view peer) const {
  Caller caller{authorization, peer, {}, {}};
  json request;
  try {
    request = ParseBody(body, limits_.max_depth);
  } catch (const TooDeep&) {
    return {200, ErrorBody(rpc::kInvalidRequest,
                           "request nested deeper than " + std::to_string(limits_.max_depth) + " levels")};
  } catch (const json::exception& e) {
    return {200, ErrorBody(rpc::kParseError, std::string("parse error: ") + e.what())};
  }

  if (!request.is_array()) {
    std::optional<std::string> answer = HandleOne(request, caller);
    RpcReply reply(answer ? 200 : 204, answer ? std::move(*answer) : std::string(), caller.delay);
    reply.spent = std::move(caller.spent);
    return reply;
  }
  if (request.empty()) return {200, ErrorBody(rpc::kInvalidRequest, "empty batch")};
  if (request.size() > limits_.max_batch) {
    return {200, ErrorBody(rpc::kInvalidRequest, "batch of " + std::to_string(request.size()) + " requests; at most " +
                                                     std::to_string(limits_.max_batch) + " allowed")};
  }
  std::string answers;
  for (const json& one : request) {
    std::optional<std::string> answer = HandleOne(one, caller);
    if (!answer) continue;
    answers += answers.empty() ? '[' : ',';
    answers += *answer;
  }
  if (answers.empty()) return {204, {}, caller.delay};
  answers += ']';
  return {200, std::move(answers), caller.delay};
}

std::optional<std::string> RpcHandler::HandleOne(const json& request, Caller& caller) const {
  const auto started = std::chrono::steady_clock::now();
  const auto elapsed_ms = [&] {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  };
  json id = nullptr;
  bool notification = false;
  std::string method = "?";
  std::optional<RpcFault> failure;
  std::string answer;
  try {
    if (!request.is_object()) throw RpcFault{rpc::kInvalidRequest, "request must be a JSON object"};
    auto version = request.find("jsonrpc");
    if (version == request.end() || *version != "2.0") {
      throw RpcFault{rpc::kInvalidRequest, "\"jsonrpc\" must be \"2.0\""};
    }
    auto id_it = request.find("id");
    notification = id_it == request.end();
    if (!notification) {
      if (!IsValidId(*id_it)) throw RpcFault{rpc::kInvalidRequest, "\"id\" must be a string, a number or null"};
      id = *id_it;
    }
    auto method_it = request.find("method");
    if (method_it == request.end() || !method_it->is_string()) {
      throw RpcFault{rpc::kInvalidRequest, "\"method\" must be a string"};
    }
    method = method_it->get<std::string>();
    static const json kNoParams = json::array();
    auto params_it = request.find("params");
    const json& params = params_it == request.end() ? kNoParams : *params_it;
    if (!params.is_array()) throw RpcFault{rpc::kInvalidRequest, "\"params\" must be an array (positional)"};
    answer = ResultHead(id);
    const CallsInFlight::Entry running(in_flight_, method, caller.peer);
    Dispatch(method, params, caller, answer);
    answer += '}';
  } catch (const RpcFault& fault) {
    failure = fault;
    // An invalid request is answered even without an id: only a valid request is a
    // notification. Its id could not be read, so it is null.
    if (fault.code == rpc::kInvalidRequest && notification) {
      notification = false;
      id = nullptr;
    }
  } catch (const std::exception& e) {
    spdlog::error("rpc {}: internal error: {}", method, e.what());
    failure = RpcFault{rpc::kInternalError, "internal error"};
  }

  if (failure) {
    auto level = failure->code == rpc::kServerError ? spdlog::level::debug : spdlog::level::warn;
    spdlog::log(level, "rpc {} failed in {:.3f} ms: {} {}", method, elapsed_ms(), failure->code, failure->message);
    answer = DumpJson(ErrorObject(id, failure->code, failure->message));
  } else {
    spdlog::debug("rpc {} ok in {:.3f} ms", method, elapsed_ms());
  }
  metrics_.CountCall(metrics_.SlotOf(CountedName(method)),
                     CallMetrics::OutcomeOfErrorCode(failure ? failure->code : 0),
                     std::chrono::steady_clock::now() - started);
  if (notification) return std::nullopt;
  return answer;
}

void RpcHandler::Dispatch(const std::string& method, const json& params, Caller& caller, std::string& out) const {
  const std::string prefix = std::string(rpc::kServerName) + ".";
  std::string short_name;
  if (method.starts_with(prefix)) short_name = method.substr(prefix.size());
  if (method == rpc::kLoginMethod || short_name == rpc::kLoginMethod) {
    out += Login(params, caller);
    return;
  }
  if (short_name.empty()) {
    throw RpcFault{rpc::kMethodNotFound, "unknown method \"" + method + "\": methods are named " + prefix + "<Method>"};
  }

  TokenCheck checked = CheckToken(service_, caller.authorization);
  if (!checked.session) throw RpcFault{checked.code, std::move(checked.message)};
  const std::optional<Session>& session = checked.session;

  std::vector<rt::Variant> values = DecodeParams(params);
  rt::Variant value;
  // {"value":...,"params":[...]}: the value written by the business layer itself where it
  // can, else encoded from its variants.
  out += R"({"value":)";
  try {
    if (!service_.CallToText(*session, short_name, values, out)) {
      value = service_.Call(*session, short_name, values);
      rt::EncodeVariantTo(out, value);
    }
  } catch (const ServiceError& e) {
    throw RpcFault{rpc::kServerError, e.what()};
  } catch (const InvalidParams& e) {
    throw RpcFault{rpc::kInvalidParams, e.what()};
  } catch (const UnknownMethod& e) {
    throw RpcFault{rpc::kMethodNotFound, e.what()};
  }
  out += R"(,"params":[)";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) out += ',';
    rt::EncodeVariantTo(out, values[i]);
  }
  out += "]}";
  caller.spent.push_back(std::move(value));
  std::move(values.begin(), values.end(), std::back_inserter(caller.spent));
}

std::string RpcHandler::Login(const json& params, Caller& caller) const {
  if (params.size() != 2 || !params[0].is_string() || !params[1].is_string()) {
    throw RpcFault{rpc::kInvalidParams, "Auth.Login takes [operator, password], both strings"};
  }
  const std::string operator_id = params[0].get<std::string>();
  if (const auto locked = throttle_.LockedFor(operator_id, caller.peer)) {
    spdlog::warn("sign-in of operator '{}' from {} refused unchecked: locked for {} s more", operator_id,
                 caller.peer.empty() ? "?" : caller.peer, locked->count());
    metrics_.CountRefusedSignIn(true);
    throw RpcFault{rpc::kServerError, SignInThrottle::LockedText(*locked)};
  }
  std::optional<LoginResult> login;
  try {
    login = service_.Login(operator_id, params[1].get<std::string>());
  } catch (const ServiceError& e) {
    throw RpcFault{rpc::kServerError, e.what()};
  }
  if (!login) {
    metrics_.CountRefusedSignIn(false);
    const auto delay = throttle_.Failed(operator_id, caller.peer);
    if (delay.count() > 0) {
      spdlog::info("wrong password for operator '{}' from {}: answered after {} ms", operator_id,
                   caller.peer.empty() ? "?" : caller.peer, delay.count());
    }
    caller.delay = std::max(caller.delay, delay);
    throw RpcFault{rpc::kServerError, "Operador ou senha inválidos."};
  }
  throttle_.Succeeded(operator_id, caller.peer);
  return DumpJson(
      json{{"token", login->token}, {"operator", login->session.operator_id}, {"branches", login->session.branches}});
}

std::string_view BearerToken(std::string_view authorization) {
  constexpr std::string_view kScheme = "bearer ";
  if (authorization.size() <= kScheme.size()) return {};
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    char c = authorization[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return {};
  }
  std::string_view token = authorization.substr(kScheme.size());
  while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
  while (!token.empty() && token.back() == ' ') token.remove_suffix(1);
  return token;
}

TokenCheck CheckToken(AllocService& service, std::string_view authorization) {
  const std::string_view token = BearerToken(authorization);
  if (token.empty()) return {std::nullopt, rpc::kNotSignedIn, "not signed in: missing \"Authorization: Bearer <token>\""};
  try {
    if (std::optional<Session> session = service.Authenticate(std::string(token))) return {std::move(session), 0, {}};
  } catch (const ServiceError& e) {
    return {std::nullopt, rpc::kServerError, e.what()};
  }
  return {std::nullopt, rpc::kNotSignedIn, "not signed in: unknown or expired token"};
}

}  // namespace srv
