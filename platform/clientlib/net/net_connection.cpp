#include "platform/clientlib/net/net_connection.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <optional>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "platform/clientlib/net/client_texts.h"
#include "platform/clientlib/net/connect_probe.h"
#include "platform/clientlib/net/rpc_answer.h"
#include "platform/runtime/blocking_wait.h"
#include "platform/runtime/packet_json.h"

namespace clib {
namespace {

using nlohmann::json;

constexpr int kNotSignedIn = -32001;  // the server's code for a missing or expired token
constexpr const char* kLoginMethod = "Auth.Login";

std::int64_t MillisecondsSince(std::chrono::steady_clock::time_point started) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
}

bool IsHttps(const std::string& host) { return host.starts_with("https://"); }

// "http://host", "https://host/" and "host" all name the host.
std::string BareHost(const std::string& host) {
  const auto scheme = host.find("://");
  std::string bare = scheme == std::string::npos ? host : host.substr(scheme + 3);
  while (!bare.empty() && bare.back() == '/') bare.pop_back();
  return bare;
}

// The code and message of a JSON-RPC error answer, or nullopt for a result.
std::optional<std::pair<int, std::string>> ErrorOf(const json& answer) {
  auto error = answer.find("error");
  if (error == answer.end()) return std::nullopt;
  int code = 0;
  std::string message = ClientText(TClientText::kServerFailure);
  if (error->is_object()) {
    auto c = error->find("code");
    if (c != error->end() && c->is_number_integer()) code = c->get<int>();
    auto m = error->find("message");
    if (m != error->end() && m->is_string()) message = m->get<std::string>();
  }
  return std::make_pair(code, std::move(message));
}

std::string EncodeRequest(std::int64_t id, const std::string& method, json params) {
  json request{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
  return request.dump(-1, ' ', false, json::error_handler_t::replace);
}

// A call's request, written straight from the arguments' variants (a packet argument
// is never built as a document). Throws rt::EncodeError for an argument that cannot
// travel.
std::string EncodeCall(std::int64_t id, const std::string& method, const std::vector<Arg>& args) {
  std::string body = R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":)" +
                     json(method).dump(-1, ' ', false, json::error_handler_t::replace) + R"(,"params":[)";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i != 0) body += ',';
    body += rt::EncodeVariant(args[i].Value());
  }
  body += "]}";
  return body;
}

}  // namespace

struct TNetConnection::Transport {
  Transport(const std::string& host, int port, bool https, const std::string& ca_file, int connect_seconds,
            int io_seconds)
      : client((https ? "https://" : "http://") + host + ":" + std::to_string(port)) {
    if (https) {
      client.enable_server_certificate_verification(true);
      if (!ca_file.empty()) client.set_ca_cert_path(ca_file.c_str());  // else the system's store
    }
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    client.set_connection_timeout(connect_seconds, 0);
    client.set_read_timeout(io_seconds, 0);
    client.set_write_timeout(io_seconds, 0);
  }
  httplib::Client client;
};

namespace {
std::string TooLargeAnswerText(std::size_t bytes, std::size_t limit) {
  constexpr std::size_t kMiB = 1u << 20;
  return ClientText(TClientText::kAnswerTooLarge,
                    {std::to_string((bytes + kMiB - 1) / kMiB), std::to_string(limit / kMiB)});
}
}  // namespace

// One HTTP exchange: either a transport failure or a status and body.
struct TNetConnection::Reply {
  bool delivered = false;
  httplib::Error error = httplib::Error::Success;
  std::int64_t waited_ms = 0;  // how long the failed exchange tried
  int status = 0;
  std::string body;
};

TNetConnection::TNetConnection() = default;
TNetConnection::~TNetConnection() = default;

void TNetConnection::SetCredentials(std::string user, std::string password) {
  std::lock_guard lock(mutex_);
  user_ = std::move(user);
  password_ = std::move(password);
}

void TNetConnection::SetCaFile(std::string path) {
  std::lock_guard lock(mutex_);
  ca_file_ = std::move(path);
  transport_.reset();
}

std::unique_ptr<TNetConnection::Transport> TNetConnection::NewTransport() const {
  return std::make_unique<Transport>(BareHost(host_), port_, IsHttps(host_), ca_file_, connect_timeout_seconds_,
                                     io_timeout_seconds_);
}

void TNetConnection::SetTimeouts(int connect_seconds, int io_seconds) {
  std::lock_guard lock(mutex_);
  connect_timeout_seconds_ = connect_seconds;
  io_timeout_seconds_ = io_seconds;
  transport_.reset();  // the next exchange builds a client with the new values
}

bool TNetConnection::Connected() const {
  std::lock_guard lock(mutex_);
  return connected_;
}

void TNetConnection::SetConnected(bool value) {
  std::lock_guard lock(mutex_);
  if (value == connected_) return;
  if (value) {
    OpenLocked();
  } else {
    CloseLocked();
  }
}

std::string TNetConnection::LastError() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

std::vector<std::string> TNetConnection::Branches() const {
  std::lock_guard lock(mutex_);
  return branches_;
}

std::string TNetConnection::Token() const {
  std::lock_guard lock(mutex_);
  return token_;
}

TListenTarget TNetConnection::ListenTarget() const {
  std::lock_guard lock(mutex_);
  return {BareHost(host_), port_, IsHttps(host_), ca_file_, token_};
}

bool TNetConnection::OpenLocked() {
  if (BeforeConnect) BeforeConnect(*this);
  transport_ = NewTransport();
  token_.clear();
  if (!user_.empty()) {
    if (!SignInLocked()) {
      transport_.reset();
      return false;
    }
  } else {
    const auto started = std::chrono::steady_clock::now();
    httplib::Result res = transport_->client.Get("/health");
    if (!res || res->status != 200) {
      last_error_ = ConnectFailureText(res ? "HTTP " + std::to_string(res->status)
                                           : FailureDetail(static_cast<int>(res.error()), MillisecondsSince(started)));
      transport_.reset();
      return false;
    }
  }
  connected_ = true;
  last_error_.clear();
  if (AfterConnect) AfterConnect(*this);
  return true;
}

void TNetConnection::CloseLocked() {
  const bool was_connected = connected_;
  connected_ = false;
  token_.clear();
  transport_.reset();
  if (was_connected && AfterDisconnect) AfterDisconnect(*this);
}

TNetConnection::Reply TNetConnection::PostLocked(const std::string& body) {
  if (!transport_) transport_ = NewTransport();
  httplib::Headers headers;
  if (!token_.empty()) headers.emplace("Authorization", "Bearer " + token_);
  Reply reply;
  // A write that fails on a kept-alive socket means the server dropped it while idle:
  // the request never arrived, so it is sent once more on a new socket.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto started = std::chrono::steady_clock::now();
    httplib::Result res = transport_->client.Post("/rpc", headers, body, "application/json");
    reply.waited_ms = MillisecondsSince(started);
    if (res) {
      reply.delivered = true;
      reply.status = res->status;
      reply.body = std::move(res->body);
      return reply;
    }
    reply.error = res.error();
    if (reply.error != httplib::Error::Write) break;
  }
  return reply;
}

ServerAnswer TNetConnection::Fail(std::string text, int code) {
  last_error_ = text;
  ServerAnswer answer;
  answer.error_text = std::move(text);
  answer.error_code = code;
  return answer;
}

std::string TNetConnection::FailureDetail(int error, std::int64_t waited_ms) const {
  const auto kind = static_cast<httplib::Error>(error);
  // A connect that used up its whole timeout has said why already; asking the system
  // again would make the clerk wait a second timeout for the same answer.
  const bool timed_out = kind == httplib::Error::ConnectionTimeout ||
                         (kind == httplib::Error::Connection && waited_ms >= connect_timeout_seconds_ * 1000 - 50);
  switch (timed_out ? httplib::Error::ConnectionTimeout : kind) {
    case httplib::Error::ConnectionTimeout:
      return std::strerror(ETIMEDOUT);
    case httplib::Error::Connection:
      return DescribeConnectFailure(BareHost(host_), port_, connect_timeout_seconds_);
    case httplib::Error::SSLServerVerification:
      return ClientText(TClientText::kCertificateUnknown);
    case httplib::Error::SSLConnection:
      return ClientText(TClientText::kTlsFailed);
    case httplib::Error::SSLLoadingCerts:
      return ca_file_.empty() ? ClientText(TClientText::kCaUnreadable)
                              : ClientText(TClientText::kCaUnreadableFrom, {ca_file_});
    default:
      return httplib::to_string(kind);
  }
}

std::string TNetConnection::UndeliveredText(const Reply& reply) const {
  const std::string server = BareHost(host_) + ":" + std::to_string(port_);
  if (reply.error != httplib::Error::Read) {
    return ConnectFailureText(FailureDetail(static_cast<int>(reply.error), reply.waited_ms));
  }
  // The request went out; no whole answer came back: the server stalled past the read
  // timeout, or the connection dropped (the server died or cut the answer short).
  if (reply.waited_ms >= static_cast<std::int64_t>(io_timeout_seconds_) * 1000 - 50) {
    return ClientText(TClientText::kServerSilent, {server, std::to_string(io_timeout_seconds_)});
  }
  return ClientText(TClientText::kConnectionDropped, {server});
}

std::string TNetConnection::ConnectFailureText(const std::string& detail) const {
  return ClientText(TClientText::kCannotConnect, {BareHost(host_) + ":" + std::to_string(port_), detail});
}

bool TNetConnection::SignInLocked() {
  token_.clear();
  const Reply reply = PostLocked(EncodeRequest(next_id_++, kLoginMethod, json::array({user_, password_})));
  if (!reply.delivered) {
    last_error_ = UndeliveredText(reply);
    return false;
  }
  json answer = json::parse(reply.body, nullptr, false);
  if (!answer.is_object()) answer = json::object();
  if (auto error = ErrorOf(answer)) {
    last_error_ = error->second;
    return false;
  }
  const json* result = answer.contains("result") ? &answer["result"] : nullptr;
  if (result == nullptr || !result->is_object() || !result->contains("token") || !(*result)["token"].is_string()) {
    last_error_ = ClientText(TClientText::kBadSignInAnswer, {std::to_string(reply.status)});
    return false;
  }
  token_ = (*result)["token"].get<std::string>();
  branches_.clear();
  if (result->contains("branches") && (*result)["branches"].is_array()) {
    for (const json& branch : (*result)["branches"]) {
      if (branch.is_string()) branches_.push_back(branch.get<std::string>());
    }
  }
  return true;
}

ServerAnswer TNetConnection::Call(const std::string& method, std::vector<Arg> args) {
  std::lock_guard lock(mutex_);
  if (!connected_ && !OpenLocked()) return Fail(last_error_);

  std::string body;
  try {
    body = EncodeCall(next_id_, server_name_ + "." + method, args);
  } catch (const std::exception& e) {
    return Fail(ClientText(TClientText::kBadArgument, {method, e.what()}));
  }
  ++next_id_;

  // The answer is read in one pass straight into variants (no JSON document).
  RpcAnswer answer;
  for (int attempt = 0;; ++attempt) {
    Reply reply;
    // The host keeps its window alive while the answer is awaited (blocking_wait.h).
    rt::BlockingWait().Wait(ClientText(TClientText::kWaitingForServer, {method}), [&] { reply = PostLocked(body); });
    if (!reply.delivered) {
      // Never sent again: the server may have run the call.
      const std::string text = UndeliveredText(reply);
      CloseLocked();  // the next call opens again, running BeforeConnect
      return Fail(text);
    }
    // A budget too large to load says so, rather than calling its answer invalid.
    const std::size_t limit = rt::DecodeLimits{}.max_text_bytes;
    if (reply.body.size() > limit) return Fail(TooLargeAnswerText(reply.body.size(), limit));
    try {
      answer = DecodeRpcAnswer(reply.body);
    } catch (const rt::DecodeError&) {
      return Fail(ClientText(TClientText::kBadAnswerStatus, {std::to_string(reply.status)}));
    }
    const bool expired = answer.is_error && answer.error_code == kNotSignedIn;
    if (!expired || attempt > 0 || user_.empty()) break;
    // The token expired (or the server forgot it): sign in again and repeat the call,
    // which the server refused before running it.
    if (!SignInLocked()) return Fail(last_error_);
  }

  if (answer.is_error)
    return Fail(answer.error_message.value_or(ClientText(TClientText::kServerFailure)), answer.error_code);
  if (!answer.problem.empty()) return Fail(ClientText(TClientText::kBadAnswer, {answer.problem}));

  for (std::size_t i = 0; i < args.size() && i < answer.params.size(); ++i) {
    std::string* target = args[i].RefTarget();
    if (target != nullptr && answer.params[i].type() == rt::Variant::Type::String)
      *target = answer.params[i].AsString();
  }
  ServerAnswer result;
  result.value = std::move(answer.value);
  result.ok = true;
  last_error_.clear();
  return result;
}

}  // namespace clib
