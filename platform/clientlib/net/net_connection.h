// TNetConnection: a screen's connection to the application server, a remote data module
// such as "EVT04700.rdmAloc" reached over JSON-RPC 2.0 on HTTP/1.1 (docs/protocol.md).
//
// Life of a connection: the screen sets it connected; the BeforeConnect event runs first
// (the screen sets Host and Port there); the connection then signs in with the
// operator's credentials (method "Auth.Login") and keeps the token. Opening never
// throws: a failure leaves Connected() false and LastError() says why. Every Call opens
// the connection first when it is not open, re-opens a dropped keep-alive socket, and
// signs in again once when the server says the token has expired.
//
// Calls are positional, as late-bound calls on the server's interface are: each argument
// is a value (string, number, packet, ...) or a reference to a string that the server may
// rewrite; the server sends every parameter back and the by-reference ones are written
// back into the caller's strings.
//
// One connection serves one thread at a time (calls are serialised by a mutex); use one
// connection per thread for parallel calls.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/variant.h"

namespace clib {

// A server answer, wrapped so that CheckResultServ can tell success from failure:
// ok: `value` is the method's result (a packet, an array of packets, a boolean, null...).
// failed: `error_text` is the server's own text (for the account operations an
// "N_PARAM_" key, optionally followed by "|" and its argument) or a transport failure
// ("Não foi possível conectar ao servidor de aplicação host:port (...)");
// `error_code` is the JSON-RPC code of a server failure, 0 for a transport failure.
struct ServerAnswer {
  bool ok = false;
  rt::Variant value;
  std::string error_text;
  int error_code = 0;
};

// One positional argument of a call: a value, or a string the server may rewrite.
class Arg {
 public:
  template <class T>
  requires std::constructible_from<rt::Variant, T> Arg(T&& value)
      : value_(std::forward<T>(value)) {}  // NOLINT: implicit by design

  // A by-reference string argument: sent as its current text, written back from the
  // answer.
  static Arg Ref(std::string& target) {
    Arg arg(target);
    arg.ref_ = &target;
    return arg;
  }

  const rt::Variant& Value() const { return value_; }
  std::string* RefTarget() const { return ref_; }

 private:
  rt::Variant value_;
  std::string* ref_ = nullptr;
};

// Where and as whom the change listener polls (change_listener.h): this connection's
// server and session.
struct TListenTarget {
  std::string host;  // bare host name or address
  int port = 0;
  bool https = false;
  std::string ca_file;
  std::string token;
};

class TNetConnection {
 public:
  using TConnectionEvent = std::function<void(TNetConnection&)>;

  TNetConnection();
  ~TNetConnection();
  TNetConnection(const TNetConnection&) = delete;
  TNetConnection& operator=(const TNetConnection&) = delete;

  // Runs before every open, before the host and port are read.
  TConnectionEvent BeforeConnect;
  // Runs after a successful open, and after a close of an open connection.
  TConnectionEvent AfterConnect;
  TConnectionEvent AfterDisconnect;

  // The server's host name or address; "https://host" connects with TLS (the server's
  // certificate is verified), "http://host" or a bare host with plain HTTP.
  const std::string& Host() const { return host_; }
  void SetHost(std::string host) { host_ = std::move(host); }
  int Port() const { return port_; }
  void SetPort(int port) { port_ = port; }
  // The remote data module; a call's method is sent as ServerName + "." + method.
  const std::string& ServerName() const { return server_name_; }
  void SetServerName(std::string name) { server_name_ = std::move(name); }

  // The operator the connection signs in as when it opens. Without a user the open only
  // checks that the server answers, and calls go without a token.
  void SetCredentials(std::string user, std::string password);
  const std::string& User() const { return user_; }

  // Seconds for establishing the TCP connection and for each read or write.
  void SetTimeouts(int connect_seconds, int io_seconds);

  // HTTPS: a PEM file of the authorities that may sign the server's certificate; empty
  // (the default): the system's store.
  void SetCaFile(std::string path);

  bool Connected() const;
  void SetConnected(bool value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }

  // Why the last open or call failed; "" after a success.
  std::string LastError() const;
  // From the last sign-in: the operator's branches ("0001", ...).
  std::vector<std::string> Branches() const;
  // The session token of the last sign-in ("" before one). The change listener polls
  // with it, so that the server leaves out the changes made through this connection.
  std::string Token() const;
  TListenTarget ListenTarget() const;

  // Calls a method of the remote data module (see the comment at the top).
  ServerAnswer Call(const std::string& method, std::vector<Arg> args);

 private:
  struct Transport;
  struct Reply;

  bool OpenLocked();
  void CloseLocked();
  bool SignInLocked();
  Reply PostLocked(const std::string& body);
  // A new transport for the current host, port, scheme and timeouts.
  std::unique_ptr<Transport> NewTransport() const;
  ServerAnswer Fail(std::string text, int code = 0);
  // The clerk's text for a server that cannot be reached, naming host and port.
  std::string ConnectFailureText(const std::string& detail) const;
  // Why an exchange failed (`http_error` an httplib::Error, kept out of this header),
  // after `waited_ms` of trying.
  std::string FailureDetail(int http_error, std::int64_t waited_ms) const;
  // The clerk's text for an exchange that brought no whole answer, naming the server.
  std::string UndeliveredText(const Reply& reply) const;

  mutable std::recursive_mutex mutex_;  // recursive: event handlers may read the connection
  std::string host_ = "127.0.0.1";
  int port_ = 8211;
  std::string server_name_ = "EVT04700.rdmAloc";
  std::string user_;
  std::string password_;
  std::string ca_file_;
  int connect_timeout_seconds_ = 5;
  int io_timeout_seconds_ = 60;

  bool connected_ = false;
  std::string token_;
  std::vector<std::string> branches_;
  std::string last_error_;
  std::int64_t next_id_ = 1;
  std::unique_ptr<Transport> transport_;
};

}  // namespace clib
