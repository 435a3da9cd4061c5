// Throttling of wrong passwords through the JSON-RPC handler, on a clock the test moves:
// slowed, then refused for a while with the clerk's text and a log line, per operator
// and per address; a right password after the wait works.
#include "server/rpc/sign_in_throttle.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>
#include <nlohmann/json.hpp>

#include "server/rpc/fake_service_for_tests.h"
#include "server/rpc/rpc_handler.h"

namespace srv {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;
using std::chrono::seconds;
using ::testing::HasSubstr;

class SignInThrottleTest : public ::testing::Test {
 protected:
  SignInThrottleTest() {
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(log_);
    previous_ = spdlog::default_logger();
    spdlog::set_default_logger(std::make_shared<spdlog::logger>("throttle-test", sink));
  }
  ~SignInThrottleTest() override { spdlog::set_default_logger(previous_); }

  // Signs in from `peer`: the answer's error message ("" on success) and its delay.
  std::pair<std::string, milliseconds> SignIn(const std::string& op, const std::string& password,
                                              const std::string& peer = "10.0.0.9") {
    const RpcReply reply = handler_.Handle(
        json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "Auth.Login"}, {"params", {op, password}}}.dump(), "", peer);
    const json answer = json::parse(reply.body);
    return {answer.contains("error") ? answer["error"]["message"].get<std::string>() : "", reply.delay};
  }
  std::string Refusal(const std::string& op, const std::string& password, const std::string& peer = "10.0.0.9") {
    return SignIn(op, password, peer).first;
  }

  std::ostringstream log_;
  std::shared_ptr<spdlog::logger> previous_;
  std::chrono::steady_clock::time_point now_{std::chrono::hours(1)};
  fakes::FakeService service_;
  RpcHandler handler_{service_, RpcLimits{}, [this] { return now_; }};
};

constexpr const char* kWrong = "Operador ou senha inválidos.";

TEST_F(SignInThrottleTest, WrongPasswordsAreSlowedThenRefusedUntilTheWaitIsOver) {
  // Default policy: three answered at once, then 1, 2, 4, 8, 8 ... s; the tenth locks.
  const std::vector<long> expected_ms = {0, 0, 0, 1000, 2000, 4000, 8000, 8000, 8000, 8000};
  for (std::size_t i = 0; i < expected_ms.size(); ++i) {
    SCOPED_TRACE("attempt " + std::to_string(i + 1));
    const auto [text, delay] = SignIn("demo", "guess");
    EXPECT_EQ(text, kWrong);
    EXPECT_EQ(delay.count(), expected_ms[i]);
    now_ += seconds(1);
  }
  EXPECT_THAT(log_.str(), HasSubstr("10 wrong passwords in a row for op:demo; refused for 300 s"));
  EXPECT_THAT(log_.str(), HasSubstr("10 wrong passwords in a row for ip:10.0.0.9"));

  // Locked: even the right password is refused, unchecked, with the time left.
  EXPECT_EQ(Refusal("demo", "demo"),
            "Acesso bloqueado por excesso de tentativas com senha inválida. Aguarde 5 minuto(s) e tente novamente.");
  EXPECT_THAT(log_.str(), HasSubstr("sign-in of operator 'demo' from 10.0.0.9 refused unchecked"));
  now_ += seconds(297);
  EXPECT_THAT(Refusal("demo", "demo", "10.0.0.10"), HasSubstr("Aguarde 2 segundo(s)")) << "the operator is locked";
  now_ += seconds(2);
  EXPECT_EQ(Refusal("demo", "demo"), "");
  // The right password cleared the count: the next wrong one is answered at once again.
  EXPECT_EQ(SignIn("demo", "guess").second.count(), 0);
}

TEST_F(SignInThrottleTest, OneAddressTryingManyOperatorsIsLockedWithoutLockingThem) {
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Refusal("op" + std::to_string(i), "x", "192.0.2.7"), kWrong);
  EXPECT_THAT(Refusal("demo", "demo", "192.0.2.7"), HasSubstr("Acesso bloqueado"));
  EXPECT_EQ(Refusal("demo", "demo", "192.0.2.8"), "") << "the operator itself is not locked";
  EXPECT_EQ(Refusal("op1", "x", "192.0.2.8"), kWrong);
}

TEST_F(SignInThrottleTest, FailuresLongAgoAreForgotten) {
  for (int i = 0; i < 9; ++i) SignIn("demo", "guess");
  now_ += seconds(901);
  const auto [text, delay] = SignIn("demo", "guess");
  EXPECT_EQ(text, kWrong);
  EXPECT_EQ(delay.count(), 0) << "counted afresh, not as the tenth in a row";
  EXPECT_EQ(Refusal("demo", "demo"), "");
}

}  // namespace
}  // namespace srv
