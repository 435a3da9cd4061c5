// The connection component: a call on a closed connection opens it once (one sign-in,
// one BeforeConnect, one connect timeout), whatever the outcome.
#include "platform/clientlib/components.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include "platform/clientlib/session.h"

namespace clib {
namespace {

using ::testing::HasSubstr;

// A listening socket whose accept queue is full: a new connection is neither accepted
// nor refused, so connecting waits for its whole timeout (a server that does not answer).
class SilentListener {
 public:
  SilentListener() : listener_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener_, 0), 0);
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    // Fill the queue until a connection stays pending.
    for (int i = 0; i < 16; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      fillers_.push_back(fd);
      // Non-blocking: the connect is in progress; the poll tells whether it completes.
      (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 200) == 0) break;
    }
  }
  ~SilentListener() {
    for (int fd : fillers_) ::close(fd);
    ::close(listener_);
  }
  int Port() const { return port_; }

 private:
  int listener_;
  int port_ = 0;
  std::vector<int> fillers_;
};

// Answers every sign-in with the wrong-password refusal, counting them.
class RefusingServer {
 public:
  RefusingServer() {
    server_.Post("/rpc", [this](const httplib::Request&, httplib::Response& res) {
      ++sign_ins;
      res.set_content(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"Operador ou senha inválidos."}})",
                      "application/json");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~RefusingServer() {
    server_.stop();
    thread_.join();
  }
  int Port() const { return port_; }
  std::atomic<int> sign_ins{0};

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

class ConnectionComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Session().operator_name = "demo";
    Session().password = "demo";
  }
  void Aim(int port) {
    net_.BeforeConnect = [this, port](rt::TObject*) {
      ++before_connect_;
      net_.SetHost("127.0.0.1");
      net_.SetPort(port);
    };
  }
  TNetConnectionComponent net_;
  int before_connect_ = 0;
};

TEST_F(ConnectionComponentTest, RefusedSignInIsTriedOncePerCall) {
  RefusingServer server;
  Aim(server.Port());
  const ServerAnswer answer = net_.Call("GetSequencial", {"0000000012", "01"});
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.error_text, "Operador ou senha inválidos.");
  EXPECT_EQ(server.sign_ins, 1);
  EXPECT_EQ(before_connect_, 1);
  EXPECT_FALSE(net_.Connected());
}

TEST_F(ConnectionComponentTest, ServerThatDoesNotAnswerCostsOneConnectTimeout) {
  SilentListener silent;
  Aim(silent.Port());
  net_.Connection().SetTimeouts(1, 1);
  const auto started = std::chrono::steady_clock::now();
  const ServerAnswer answer = net_.Call("GetSequencial", {"0000000012", "01"});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_FALSE(answer.ok);
  EXPECT_THAT(answer.error_text, HasSubstr("127.0.0.1:" + std::to_string(silent.Port()) + " (Connection timed out)"));
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 1.8) << "one connect timeout of 1 s, not two (nor a probe after it)";
  EXPECT_EQ(before_connect_, 1);
}

}  // namespace
}  // namespace clib
