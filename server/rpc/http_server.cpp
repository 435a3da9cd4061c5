#include "server/rpc/http_server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include <sys/socket.h>

#include <httplib.h>
#include <spdlog/spdlog.h>

namespace srv {
namespace {

constexpr const char* kJson = "application/json";

int PickThreads(int requested) {
  if (requested > 0) return requested;
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return std::max(64, 16 * cores);
}

// The JSON-RPC error that goes with an HTTP failure the library detected itself.
std::string HttpErrorBody(int status, std::size_t max_body_bytes) {
  switch (status) {
    case 413:
      return RpcHandler::ErrorBody(rpc::kInvalidRequest, "request body larger than " +
                                                             std::to_string(max_body_bytes) + " bytes");
    case 404:
    case 405:
      return RpcHandler::ErrorBody(rpc::kInvalidRequest, "no such resource: use POST /rpc or GET /health");
    case 500:
      return RpcHandler::ErrorBody(rpc::kInternalError, "internal error");
    default:
      return RpcHandler::ErrorBody(rpc::kInvalidRequest, "bad HTTP request (status " + std::to_string(status) + ")");
  }
}

}  // namespace

struct HttpServer::Impl {
  Impl(AllocService& service, const HttpServerOptions& options) : handler(service, options.rpc) {}

  RpcHandler handler;
  httplib::Server server;
  std::atomic<bool> stop_requested{false};
  std::atomic<bool> serving{false};
};

HttpServer::HttpServer(AllocService& service, HttpServerOptions options)
    : impl_(std::make_unique<Impl>(service, options)), threads_(PickThreads(options.threads)) {
  std::signal(SIGPIPE, SIG_IGN);
  httplib::Server& server = impl_->server;
  const int threads = threads_;
  server.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
  server.set_tcp_nodelay(true);
  // The library's default also sets SO_REUSEPORT, which lets a second server bind a port
  // that is in use and silently share its clients; a taken port must be an error.
  server.set_socket_options([](int sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
  server.set_keep_alive_max_count(options.keep_alive_max_count);
  server.set_keep_alive_timeout(options.keep_alive_seconds);
  server.set_read_timeout(options.read_timeout_seconds, 0);
  server.set_write_timeout(options.write_timeout_seconds, 0);
  server.set_payload_max_length(options.max_body_bytes);

  RpcHandler* handler = &impl_->handler;
  server.Post("/rpc", [handler](const httplib::Request& req, httplib::Response& res) {
    RpcReply reply = handler->Handle(req.body, req.get_header_value("Authorization"), req.remote_addr);
    if (reply.delay.count() > 0) std::this_thread::sleep_for(reply.delay);
    res.status = reply.http_status;
    if (!reply.body.empty()) res.set_content(std::move(reply.body), kJson);
  });
  server.Get("/health", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(R"({"status":"ok"})", kJson);
  });
  const std::size_t max_body = options.max_body_bytes;
  server.set_error_handler([max_body](const httplib::Request& req, httplib::Response& res) {
    spdlog::warn("http {} {} from {}: status {}", req.method, req.path, req.remote_addr, res.status);
    res.set_content(HttpErrorBody(res.status, max_body), kJson);
  });
  server.set_exception_handler([](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
    try {
      if (ep) std::rethrow_exception(ep);
    } catch (const std::exception& e) {
      spdlog::error("http {} {}: {}", req.method, req.path, e.what());
    } catch (...) {
      spdlog::error("http {} {}: unknown exception", req.method, req.path);
    }
    res.status = 500;
    res.set_content(HttpErrorBody(500, 0), kJson);
  });
}

HttpServer::~HttpServer() { Stop(); }

int HttpServer::Bind(const std::string& address, int port) {
  httplib::Server& server = impl_->server;
  if (port == 0) {
    const int bound = server.bind_to_any_port(address);
    if (bound < 0) throw std::runtime_error("cannot listen on " + address + " (no free port)");
    return bound;
  }
  if (!server.bind_to_port(address, port)) {
    throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) +
                             " (address in use or not available)");
  }
  return port;
}

bool HttpServer::Serve() {
  impl_->serving = true;
  bool ok = true;
  if (!impl_->stop_requested) ok = impl_->server.listen_after_bind();
  impl_->serving = false;
  return ok || impl_->stop_requested;
}

void HttpServer::Stop() {
  impl_->stop_requested = true;
  // Serve may be between its check of the flag and the start of the loop: wait for the
  // loop to run so that stopping it cannot be missed.
  while (impl_->serving && !impl_->server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  impl_->server.stop();
}

}  // namespace srv
