// The HTTP side of the application server: an event-driven HTTP/1.1 server (Boost.Beast
// on Boost.Asio) for clerks who keep one connection open all day and make many small
// calls on it.
//   POST /rpc     JSON-RPC 2.0 (rpc_handler.h)
//   POST /changes a long poll for other clerks' changes (change_poll.h); a waiting poll
//                 holds no thread
//   GET  /health  200 {"status":"ok"}, 503 when the database does not answer; no token
//   GET  /metrics the server's counters in Prometheus' text format (metrics.h)
// Anything else, and a body over the size limit, gets a JSON-RPC error body with the
// matching HTTP status (404, 413, ...).
//
// A few I/O threads wait on every connection at once; an open connection that is idle,
// or that sends its request slowly, holds no thread. A complete request is run by the
// I/O thread that read it, which writes the answer itself (no hand-off between threads),
// as long as another I/O thread is left to serve the sockets; otherwise it goes to a
// worker of the pool, which hands the answer back to be written. At most `threads`
// methods run at once; further requests wait their turn without holding a thread.
// Each request has deadlines (docs/server-program.md): an idle kept-alive connection is
// closed after the keep-alive time, its headers must arrive within the header deadline
// and its body within the body deadline. A client address may hold only so many
// connections at once. With a certificate and key the server speaks HTTPS only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "server/rpc/rpc_handler.h"
#include "server/service.h"

namespace srv {

struct HttpServerOptions {
  std::size_t max_body_bytes = 8 * 1024 * 1024;
  // Methods that may run at once (database calls block); 0 picks max(16, 4 x cores).
  int threads = 0;
  // Threads that wait on the sockets, parse and write, and run a method themselves while
  // one of them stays free; 0 picks max(2, one per two cores).
  int io_threads = 0;
  std::size_t keep_alive_max_count = 10000;  // requests on one connection before it is recycled
  int keep_alive_seconds = 5;                // an idle connection between requests is closed after this
  int header_timeout_seconds = 10;           // from a request's first byte (or the connection) to its last header line
  int read_timeout_seconds = 30;             // for the body, once the headers are in
  int write_timeout_seconds = 30;
  int max_connections_per_address = 256;  // open connections one client address may hold
  // HTTPS: PEM files of the certificate (chain) and its private key; both empty: HTTP.
  std::string tls_certificate_file;
  std::string tls_key_file;
  RpcLimits rpc;
};

class HttpServer {
 public:
  // Ignores SIGPIPE for the process: a clerk closing a connection must not kill the
  // server. Throws std::runtime_error when the certificate or key cannot be loaded.
  explicit HttpServer(AllocService& service, HttpServerOptions options = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the listening socket; port 0 picks a free one. Returns the bound port.
  // Throws std::runtime_error when the address cannot be bound (port taken, bad address).
  int Bind(const std::string& address, int port);
  // Serves until Stop(); call after Bind. Returns false when the server failed.
  bool Serve();
  // Stops serving; safe from any thread, also before Serve has started. No connection
  // is accepted after it; requests being served are answered (with "Connection:
  // close"); idle connections are closed at once.
  void Stop();

  int Threads() const;
  // The methods running now, one line each (what a stop cut off, when it must).
  std::vector<std::string> RunningCalls() const;
  bool Tls() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace srv
