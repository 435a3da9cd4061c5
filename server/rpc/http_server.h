// The HTTP side of the application server: cpp-httplib configured for clerks who keep
// one connection open all day and make many small calls on it.
//   POST /rpc     JSON-RPC 2.0 (rpc_handler.h)
//   GET  /health  200 {"status":"ok"}, no token
// Anything else, and a body over the size limit, gets a JSON-RPC error body with the
// matching HTTP status (404, 413, ...).
#pragma once

#include <cstddef>
#include <ctime>
#include <memory>
#include <string>

#include "server/rpc/rpc_handler.h"
#include "server/service.h"

namespace srv {

struct HttpServerOptions {
  std::size_t max_body_bytes = 8 * 1024 * 1024;
  // Worker threads. The HTTP library serves a keep-alive connection on one worker for
  // as long as it stays open, so this bounds the clients served at the same moment;
  // 0 picks max(64, 16 x cores).
  int threads = 0;
  std::size_t keep_alive_max_count = 10000;  // requests on one connection before it is recycled
  // An idle connection frees its worker after this; stopping the server also waits up
  // to this long for idle connections to end.
  std::time_t keep_alive_seconds = 5;
  std::time_t read_timeout_seconds = 30;
  std::time_t write_timeout_seconds = 30;
  RpcLimits rpc;
};

class HttpServer {
 public:
  // Ignores SIGPIPE for the process: a clerk closing a connection must not kill the server.
  explicit HttpServer(AllocService& service, HttpServerOptions options = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the listening socket; port 0 picks a free one. Returns the bound port.
  // Throws std::runtime_error when the address cannot be bound (port taken, bad address).
  int Bind(const std::string& address, int port);
  // Serves until Stop(); call after Bind. Returns false when the server failed.
  bool Serve();
  // Stops serving; safe from any thread, also before Serve has started.
  void Stop();

  int Threads() const { return threads_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int threads_ = 0;
};

}  // namespace srv
