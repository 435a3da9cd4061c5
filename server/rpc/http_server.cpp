#include "server/rpc/http_server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

#include <spdlog/spdlog.h>
#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include "server/rpc/call_gate.h"
#include "server/rpc/change_poll.h"
#include "server/rpc/tls_context.h"

namespace srv {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using ErrorCode = boost::system::error_code;
using std::chrono::seconds;

constexpr const char* kJson = "application/json";
constexpr std::size_t kHeaderLimit = std::size_t{16} * 1024;
constexpr std::size_t kReadChunk = 4096;

int PickThreads(int requested, int per_core, int minimum) {
  if (requested > 0) return requested;
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return std::max(minimum, per_core * cores);
}

// The JSON-RPC error that goes with an HTTP failure found before the handler runs.
std::string HttpErrorBody(int status, std::size_t max_body_bytes) {
  switch (status) {
    case 413:
      return RpcHandler::ErrorBody(rpc::kInvalidRequest,
                                   "request body larger than " + std::to_string(max_body_bytes) + " bytes");
    case 404:
      return RpcHandler::ErrorBody(rpc::kInvalidRequest,
                                   "no such resource: use POST /rpc, POST /changes, GET /health or GET /metrics");
    case 500:
      return RpcHandler::ErrorBody(rpc::kInternalError, "internal error");
    default:
      return RpcHandler::ErrorBody(rpc::kInvalidRequest, "bad HTTP request (status " + std::to_string(status) + ")");
  }
}

// A connection as the listener sees it: it can be asked to end once it is idle.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  virtual ~Connection() = default;
  virtual void Start() = 0;
  // Safe from any thread: closes the connection now when no request is being served,
  // else right after its answer.
  virtual void StopWhenIdle() = 0;
};

// The listening socket, the threads and what every connection shares.
struct Listener {
  Listener(AllocService& alloc_service, HttpServerOptions opts)
      : service(alloc_service),
        options(std::move(opts)),
        worker_count(PickThreads(options.threads, 4, 16)),
        io_thread_count(options.io_threads > 0
                            ? options.io_threads
                            : std::max(2, static_cast<int>(std::thread::hardware_concurrency()) / 2)),
        io(io_thread_count),
        handler(alloc_service, options.rpc),
        calls(worker_count, io_thread_count - 1),
        workers(static_cast<std::size_t>(worker_count)),
        acceptor(net::make_strand(io)) {
    if (!options.tls_certificate_file.empty() || !options.tls_key_file.empty()) {
      if (options.tls_certificate_file.empty() || options.tls_key_file.empty()) {
        throw std::runtime_error("HTTPS needs both a certificate and a key");
      }
      tls.emplace(LoadTlsContext(options.tls_certificate_file, options.tls_key_file));
    }
  }

  void Accept();
  void Admit(tcp::socket socket);
  // Starts a call on a worker once a turn is free.
  void RunOnWorker(CallGate::Call call) {
    if (calls.TryEnter()) return net::post(workers, std::move(call));
    if (CallGate::Call now = calls.Queue(std::move(call))) net::post(workers, std::move(now));
  }
  // Gives back a finished call's turn; a queued call that takes it over starts on a worker.
  void PassOn(CallGate::Call next) {
    if (next) net::post(workers, std::move(next));
  }
  // Called by a connection as it ends.
  std::int64_t OpenConnections() {
    std::lock_guard lock(mutex);
    return static_cast<std::int64_t>(connections.size());
  }
  void Forget(std::uint64_t id, const std::string& address) {
    std::lock_guard lock(mutex);
    connections.erase(id);
    if (--per_address[address] <= 0) per_address.erase(address);
  }

  AllocService& service;
  HttpServerOptions options;
  const int worker_count;
  const int io_thread_count;
  net::io_context io;  // before what runs on it: outlives it
  RpcHandler handler;
  CallGate calls;
  net::thread_pool workers;  // after the handler and the gate: joined before they go
  std::optional<ssl::context> tls;
  tcp::acceptor acceptor;  // on a strand of its own, as are the pause timer and Stop's closing
  net::steady_timer accept_pause{acceptor.get_executor()};
  std::atomic<bool> stopping{false};
  std::atomic<std::int64_t> last_cap_warning{0};

  std::mutex mutex;  // guards the two maps
  std::map<std::string, int> per_address;
  std::map<std::uint64_t, std::weak_ptr<Connection>> connections;
  std::uint64_t next_id = 0;
};

// One client connection, over plain TCP or TLS. Its steps run one at a time on the
// connection's strand, the method call too unless it goes to a worker.
template <class Stream>
class ConnectionOf final : public Connection {
  static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

 public:
  ConnectionOf(Listener& server, Stream stream, std::string peer, std::uint64_t id)
      : server_(server), stream_(std::move(stream)), peer_(std::move(peer)), id_(id), timer_(stream_.get_executor()) {}
  ~ConnectionOf() override { server_.Forget(id_, peer_); }

  void Start() override {
    net::dispatch(stream_.get_executor(), [self = Self()] { self->Handshake(); });
  }

  void StopWhenIdle() override {
    net::post(stream_.get_executor(), [self = Self()] {
      self->stopping_ = true;
      if (self->idle_) return self->Close();
      if (self->poll_state_ == PollState::Parked && self->CancelWait()) {  // a waiting poll ends now, heard nothing
        self->timer_.cancel();
        self->poll_state_ = PollState::None;
        self->Respond(200, self->poll_->Quiet().body, true);
      }
    });
  }

 private:
  std::shared_ptr<ConnectionOf> Self() { return std::static_pointer_cast<ConnectionOf>(shared_from_this()); }
  beast::tcp_stream& Lowest() { return beast::get_lowest_layer(stream_); }
  const HttpServerOptions& Options() const { return server_.options; }

  void Handshake() {
    if constexpr (kTls) {
      Lowest().expires_after(seconds(Options().header_timeout_seconds));
      stream_.async_handshake(ssl::stream_base::server, [self = Self()](ErrorCode ec) {
        if (ec) return self->Close();
        self->ReadHeader();
      });
    } else {
      ReadHeader();
    }
  }

  // Between requests: the keep-alive time for the next request's first byte.
  void WaitForRequest() {
    idle_ = true;
    if (stopping_) return Close();
    if (buffer_.size() > 0) return ReadHeader();  // the next request is already here
    Lowest().expires_after(seconds(Options().keep_alive_seconds));
    stream_.async_read_some(buffer_.prepare(kReadChunk), [self = Self()](ErrorCode ec, std::size_t bytes) {
      if (ec) return self->Close();
      self->buffer_.commit(bytes);
      self->ReadHeader();
    });
  }

  void ReadHeader() {
    idle_ = true;
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(Options().max_body_bytes);
    Lowest().expires_after(seconds(Options().header_timeout_seconds));
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = Self()](ErrorCode ec, std::size_t) { self->OnHeader(ec); });
  }

  void OnHeader(ErrorCode ec) {
    if (ec) return Failed(ec);
    idle_ = false;
    const auto& request = parser_->get();
    if (beast::iequals(request[http::field::expect], "100-continue")) {
      continue_.emplace(http::status::continue_, request.version());
      Lowest().expires_after(seconds(Options().write_timeout_seconds));
      http::async_write(stream_, *continue_, [self = Self()](ErrorCode ec, std::size_t) {
        if (ec) return self->Close();
        self->ReadBody();
      });
      return;
    }
    ReadBody();
  }

  void ReadBody() {
    Lowest().expires_after(seconds(Options().read_timeout_seconds));
    http::async_read(stream_, buffer_, *parser_, [self = Self()](ErrorCode ec, std::size_t) {
      if (ec) return self->Failed(ec);
      self->Route();
    });
  }

  // A request that could not be read: too large or malformed gets an answer; a
  // deadline passed or a client gone just ends the connection.
  void Failed(ErrorCode ec) {
    if (ec == http::error::body_limit) {
      spdlog::warn("http request from {}: status 413", peer_);
      return Respond(413, HttpErrorBody(413, Options().max_body_bytes), true);
    }
    if (ec == http::error::header_limit) {
      spdlog::warn("http request from {}: status 431", peer_);
      return Respond(431, HttpErrorBody(431, 0), true);
    }
    const bool malformed = ec.category() == http::make_error_code(http::error::bad_method).category() &&
                           ec != http::error::end_of_stream && ec != http::error::partial_message;
    if (malformed) {
      spdlog::warn("http request from {}: status 400 ({})", peer_, ec.message());
      return Respond(400, HttpErrorBody(400, 0), true);
    }
    if (ec == beast::error::timeout) spdlog::debug("http connection from {}: deadline passed", peer_);
    Close();
  }

  void Route() {
    auto& request = parser_->get();
    ++served_;
    keep_alive_ = request.keep_alive() && served_ < Options().keep_alive_max_count;
    version_ = request.version();
    const std::string_view target(request.target().data(), request.target().size());
    const std::string_view path = target.substr(0, target.find('?'));
    if (request.method() == http::verb::post && path == "/rpc") return Call(request);
    if (request.method() == http::verb::post && path == "/changes") return Changes(request);
    if (request.method() == http::verb::get && path == "/health") {
      // Here, without a call's turn: answered while every turn is taken. One check of the
      // database at a time waits for it; the others answer from its last finding.
      RpcReply health = server_.handler.Health();
      return Respond(health.http_status, std::move(health.body));
    }
    if (request.method() == http::verb::get && path == "/metrics") {
      const std::string authorization(request[http::field::authorization]);
      RpcReply metrics = server_.handler.Metrics(authorization, peer_, server_.OpenConnections());
      return Respond(metrics.http_status, std::move(metrics.body), false, metrics.content_type);
    }
    spdlog::warn("http {} {} from {}: status 404", std::string(request.method_string()), std::string(path), peer_);
    Respond(404, HttpErrorBody(404, 0));
  }

  // While another I/O thread is free the method runs here, on the thread that read the
  // request, and the answer is written from here too: the call crosses no thread.
  // Otherwise it runs on a worker (once a turn is free) and its answer comes back to
  // this connection's strand.
  void Call(http::request<http::string_body>& request) {
    std::string authorization(request[http::field::authorization]);
    if (server_.calls.TryEnterHere()) {
      RpcReply reply = Answer(request.body(), authorization);
      server_.PassOn(server_.calls.LeaveHere());
      std::vector<rt::Variant> spent = std::move(reply.spent);
      Deliver(std::move(reply));
      return;  // the spent values are freed once the answer is in the socket
    }
    auto work = net::make_work_guard(stream_.get_executor());
    server_.RunOnWorker(
        [self = Self(), work, body = std::move(request.body()), authorization = std::move(authorization)]() {
          RpcReply reply = self->Answer(body, authorization);
          self->server_.PassOn(self->server_.calls.Leave());
          std::vector<rt::Variant> spent = std::move(reply.spent);
          net::post(self->stream_.get_executor(),
                    [self, reply = std::move(reply)]() mutable { self->Deliver(std::move(reply)); });
          spent.clear();  // here, on the worker, while the I/O thread writes the answer
        });
  }

  // Runs `work` where blocking is allowed, holding a call's turn (as Call does: here while
  // another I/O thread is free, else on a worker), then `then(result)` on the strand.
  template <class Work, class Then>
  void RunBlocking(Work work, Then then) {
    if (server_.calls.TryEnterHere()) {
      auto result = work();
      server_.PassOn(server_.calls.LeaveHere());
      return then(std::move(result));
    }
    auto guard = net::make_work_guard(stream_.get_executor());
    server_.RunOnWorker([self = Self(), guard, work = std::move(work), then = std::move(then)]() mutable {
      auto result = work();
      self->server_.PassOn(self->server_.calls.Leave());
      net::post(self->stream_.get_executor(),
                [result = std::move(result), then = std::move(then)]() mutable { then(std::move(result)); });
    });
  }

  // POST /changes (change_poll.h). The poll reads; with no news it waits on the change
  // feed, holding no thread, until a change wakes it (it reads again) or its wait ends.
  // The wait is registered before each read, so a change committing during the read
  // wakes it too.
  void Changes(http::request<http::string_body>& request) {
    RunBlocking(
        [self = Self(), body = std::move(request.body()),
         authorization = std::string(request[http::field::authorization])] {
          return ChangePoll::Begin(self->server_.service, body, authorization);
        },
        [self = Self()](std::variant<std::shared_ptr<ChangePoll>, RpcReply> begun) {
          if (auto* refusal = std::get_if<RpcReply>(&begun)) return self->Deliver(std::move(*refusal));
          self->poll_ = std::get<std::shared_ptr<ChangePoll>>(std::move(begun));
          self->ReadChanges();
        });
  }

  void ReadChanges() {
    poll_state_ = PollState::Reading;
    woken_ = false;
    if (ChangeFeed* feed = server_.service.Feed()) {
      ticket_ = feed->Wait(poll_->Keys(), [self = Self()] {
        net::post(self->stream_.get_executor(), [self] { self->OnChangeHeard(); });
      });
    }
    RunBlocking([poll = poll_] { return poll->Read(); },
                [self = Self()](std::optional<RpcReply> news) { self->AfterRead(std::move(news)); });
  }

  void AfterRead(std::optional<RpcReply> news) {
    if (news || stopping_ || server_.stopping) {
      CancelWait();
      poll_state_ = PollState::None;
      return Deliver(news ? std::move(*news) : poll_->Quiet());
    }
    if (woken_) return ReadChanges();  // a change came while it read
    poll_state_ = PollState::Parked;
    timer_.expires_after(poll_->Wait());
    timer_.async_wait([self = Self()](ErrorCode ec) {
      if (!ec) self->OnWaitOver();
    });
  }

  void OnChangeHeard() {
    if (poll_state_ == PollState::Reading) woken_ = true;
    if (poll_state_ != PollState::Parked) return;
    timer_.cancel();
    ReadChanges();
  }

  void OnWaitOver() {
    if (poll_state_ != PollState::Parked) return;
    if (!CancelWait()) return;  // woken meanwhile: OnChangeHeard reads
    poll_state_ = PollState::None;
    Deliver(poll_->Quiet());
  }

  // Withdraws the poll's wait; false when a wake-up already took it.
  bool CancelWait() {
    ChangeFeed* feed = server_.service.Feed();
    return feed == nullptr || feed->Cancel(ticket_);
  }

  RpcReply Answer(const std::string& body, const std::string& authorization) const {
    try {
      return server_.handler.Handle(body, authorization, peer_);
    } catch (const std::exception& e) {  // Handle promises not to throw; a fault must not kill the server
      spdlog::error("http POST /rpc: {}", e.what());
      return {500, HttpErrorBody(500, 0)};
    }
  }

  // A throttled answer waits on a timer, holding no worker.
  void Deliver(RpcReply reply) {
    if (reply.delay.count() <= 0) return Respond(reply.http_status, std::move(reply.body));
    timer_.expires_after(reply.delay);
    timer_.async_wait([self = Self(), reply = std::move(reply)](ErrorCode) mutable {
      self->Respond(reply.http_status, std::move(reply.body));
    });
  }

  void Respond(int status, std::string body, bool then_close = false, const char* content_type = kJson) {
    response_.emplace(static_cast<http::status>(status), version_ ? version_ : 11);
    if (!body.empty()) response_->set(http::field::content_type, content_type);
    // The server's own flag too: a call run on this strand when the server was told to
    // stop has not seen the connection's yet.
    response_->keep_alive(keep_alive_ && !then_close && !stopping_ && !server_.stopping);
    response_->body() = std::move(body);
    response_->prepare_payload();
    const bool drain = status == 413;  // the client may still be sending the body
    Lowest().expires_after(seconds(Options().write_timeout_seconds));
    http::async_write(stream_, *response_, [self = Self(), drain](ErrorCode ec, std::size_t) {
      if (ec) return self->Close();
      if (drain) return self->Drain();
      if (!self->response_->keep_alive()) return self->Shutdown();
      self->WaitForRequest();
    });
  }

  // Reads and drops what the client still sends (the rest of a refused body) until it
  // stops or the body deadline passes, so that it gets to read the refusal.
  void Drain() {
    Lowest().expires_after(seconds(Options().read_timeout_seconds));
    buffer_.consume(buffer_.size());
    stream_.async_read_some(buffer_.prepare(std::size_t{64} * 1024), [self = Self()](ErrorCode ec, std::size_t) {
      if (ec) return self->Close();
      self->Drain();
    });
  }

  void Shutdown() {
    if constexpr (kTls) {
      Lowest().expires_after(seconds(Options().write_timeout_seconds));
      stream_.async_shutdown([self = Self()](ErrorCode) { self->Close(); });
    } else {
      ErrorCode ignored;
      Lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
      Close();
    }
  }

  void Close() {
    ErrorCode ignored;
    Lowest().socket().close(ignored);
    timer_.cancel();
  }

  Listener& server_;
  Stream stream_;
  const std::string peer_;
  const std::uint64_t id_;
  net::steady_timer timer_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::optional<http::response<http::empty_body>> continue_;
  std::optional<http::response<http::string_body>> response_;
  std::size_t served_ = 0;
  unsigned version_ = 0;
  bool keep_alive_ = true;
  bool idle_ = true;  // no request being served: closing loses nothing
  bool stopping_ = false;
  // A change poll being served.
  enum class PollState { None, Reading, Parked };
  PollState poll_state_ = PollState::None;
  std::shared_ptr<ChangePoll> poll_;
  std::uint64_t ticket_ = 0;
  bool woken_ = false;  // a change was heard while the poll read
};

void Listener::Accept() {
  // Each connection on a strand of its own.
  acceptor.async_accept(net::make_strand(io), [this](ErrorCode ec, tcp::socket socket) {
    if (stopping || !acceptor.is_open()) return;
    if (ec) {
      // Out of descriptors, for instance: pause instead of spinning.
      spdlog::warn("accepting a connection failed: {}", ec.message());
      accept_pause.expires_after(std::chrono::milliseconds(100));
      accept_pause.async_wait([this](ErrorCode) { Accept(); });
      return;
    }
    Admit(std::move(socket));
    Accept();
  });
}

void Listener::Admit(tcp::socket socket) {
  ErrorCode ec;
  const tcp::endpoint remote = socket.remote_endpoint(ec);
  if (ec) return;
  const std::string peer = remote.address().to_string();
  socket.set_option(tcp::no_delay(true), ec);
  // A large answer (the 1,000-unit grid is 170 KB) goes into the socket in one write:
  // with the default 16 KB to start with, the I/O thread was woken again for each piece.
  socket.set_option(net::socket_base::send_buffer_size(1 << 20), ec);
  std::uint64_t id = 0;
  {
    std::lock_guard lock(mutex);
    int& open = per_address[peer];
    if (open >= options.max_connections_per_address) {
      // Logged at most once a second, so that a flood does not flood the log too.
      const auto now = std::chrono::duration_cast<seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
      if (last_cap_warning.exchange(now) != now) {
        spdlog::warn("connection from {} refused: it already holds {} connections", peer, open);
      }
      socket.close(ec);
      return;
    }
    ++open;
    id = ++next_id;
  }
  std::shared_ptr<Connection> connection;
  if (tls) {
    connection = std::make_shared<ConnectionOf<beast::ssl_stream<beast::tcp_stream>>>(
        *this, beast::ssl_stream<beast::tcp_stream>(beast::tcp_stream(std::move(socket)), *tls), peer, id);
  } else {
    connection =
        std::make_shared<ConnectionOf<beast::tcp_stream>>(*this, beast::tcp_stream(std::move(socket)), peer, id);
  }
  {
    std::lock_guard lock(mutex);
    connections[id] = connection;
  }
  connection->Start();
}

}  // namespace

struct HttpServer::Impl : Listener {
  using Listener::Listener;
};

HttpServer::HttpServer(AllocService& service, HttpServerOptions options)
    : impl_(std::make_unique<Impl>(service, std::move(options))) {
  std::signal(SIGPIPE, SIG_IGN);
}

HttpServer::~HttpServer() { Stop(); }

int HttpServer::Threads() const { return impl_->worker_count; }
std::vector<std::string> HttpServer::RunningCalls() const { return impl_->handler.RunningCalls(); }
bool HttpServer::Tls() const { return impl_->tls.has_value(); }

int HttpServer::Bind(const std::string& address, int port) {
  ErrorCode ec;
  const net::ip::address ip = net::ip::make_address(address, ec);
  if (ec) throw std::runtime_error("cannot listen on " + address + " (not an IP address)");
  const tcp::endpoint endpoint(ip, static_cast<unsigned short>(port));
  tcp::acceptor& acceptor = impl_->acceptor;
  // SO_REUSEADDR only, never SO_REUSEPORT: a second server on a port in use must fail,
  // not silently take half of the clients.
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    ErrorCode ignored;
    acceptor.close(ignored);
    throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + " (" + ec.message() + ")");
  }
  return acceptor.local_endpoint().port();
}

bool HttpServer::Serve() {
  Impl& impl = *impl_;
  if (impl.stopping) return true;
  impl.Accept();
  const auto run = [&impl] {
    for (;;) {
      try {
        impl.io.run();
        return;
      } catch (const std::exception& e) {  // a handler's fault ends that step, not the server
        spdlog::error("http: {}", e.what());
      }
    }
  };
  std::vector<std::thread> extra;
  for (int i = 1; i < impl.io_thread_count; ++i) extra.emplace_back(run);
  run();
  for (auto& thread : extra) thread.join();
  impl.workers.join();
  return true;
}

void HttpServer::Stop() {
  Impl& impl = *impl_;
  if (impl.stopping.exchange(true)) return;
  net::post(impl.acceptor.get_executor(), [&impl] {
    ErrorCode ignored;
    impl.acceptor.close(ignored);
    impl.accept_pause.cancel();
    std::vector<std::shared_ptr<Connection>> open;
    {
      std::lock_guard lock(impl.mutex);
      for (auto& [id, weak] : impl.connections) {
        if (auto connection = weak.lock()) open.push_back(std::move(connection));
      }
    }
    for (auto& connection : open) connection->StopWhenIdle();
  });
}

}  // namespace srv
