// TNetConnection against a scripted HTTP server in the test (the real server is exercised
// end to end in server/rpc): what goes on the wire, sign-in renewal, by-reference
// write-back, answers that cannot be read, events.
#include "platform/clientlib/net/net_connection.h"
#include "platform/runtime/packet.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

namespace clib {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

// Answers POST /rpc with a function of the request; signs in "demo"/"demo" with a new
// token each time; records "method token" per request.
class ScriptedServer {
 public:
  using Script = std::function<json(const json& request, const std::string& token)>;

  explicit ScriptedServer(Script script) : script_(std::move(script)) {
    server_.Post("/rpc", [this](const httplib::Request& req, httplib::Response& res) {
      const json request = json::parse(req.body);
      std::string auth = req.get_header_value("Authorization");
      const std::string token = auth.starts_with("Bearer ") ? auth.substr(7) : "";
      {
        std::lock_guard lock(mutex_);
        log_.push_back(request["method"].get<std::string>() + (token.empty() ? "" : " " + token));
      }
      if (request["method"] == "Auth.Login") {
        if (request["params"] != json::array({"demo", "demo"})) {
          res.set_content(Error(request, -32000, "Operador ou senha inválidos.").dump(), "application/json");
          return;
        }
        const std::string new_token = "t" + std::to_string(++logins_);
        res.set_content(json{{"jsonrpc", "2.0"},
                             {"id", request["id"]},
                             {"result", {{"token", new_token}, {"operator", "demo"}, {"branches", {"0001"}}}}}
                            .dump(),
                        "application/json");
        return;
      }
      if (raw_answer_) {
        res.status = 500;
        res.set_content(*raw_answer_, "text/html");
        return;
      }
      res.set_content(script_(request, token).dump(), "application/json");
    });
    server_.Get("/health", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(R"({"status":"ok"})", "application/json");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~ScriptedServer() {
    server_.stop();
    thread_.join();
  }

  static json Result(const json& request, json value, json params) {
    return {{"jsonrpc", "2.0"}, {"id", request["id"]}, {"result", {{"value", value}, {"params", params}}}};
  }
  static json Error(const json& request, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", request["id"]}, {"error", {{"code", code}, {"message", message}}}};
  }

  int Port() const { return port_; }
  std::string Log() {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const auto& entry : log_) text += (text.empty() ? "" : " | ") + entry;
    return text;
  }
  void AnswerRaw(std::string body) { raw_answer_ = std::move(body); }

 private:
  Script script_;
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  int logins_ = 0;
  std::mutex mutex_;
  std::vector<std::string> log_;
  std::optional<std::string> raw_answer_;
};

// Echoes the params back, rewriting every string param to upper case.
json UpperEcho(const json& request, const std::string&) {
  json params = request["params"];
  for (auto& p : params) {
    if (p.is_string()) {
      std::string s = p.get<std::string>();
      for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      p = s;
    }
  }
  return ScriptedServer::Result(request, request["method"], params);
}

TNetConnection& Configure(TNetConnection& net, int port, std::string password = "demo") {
  net.BeforeConnect = [port](TNetConnection& c) {
    c.SetHost("127.0.0.1");
    c.SetPort(port);
  };
  net.SetCredentials("demo", std::move(password));
  return net;
}

TEST(TNetConnection, CallsGoToTheModuleWithTheTokenAndWriteBackOnlyReferences) {
  ScriptedServer server(UpperEcho);
  TNetConnection net;
  Configure(net, server.Port());
  std::string by_ref = "abc", by_value = "def";
  const ServerAnswer answer = net.Call("GetProdForn", {"x", Arg::Ref(by_ref), by_value, 12});
  ASSERT_TRUE(answer.ok) << answer.error_text;
  EXPECT_EQ(answer.value, rt::Variant("EVT04700.rdmAloc.GetProdForn"));
  EXPECT_EQ(by_ref, "ABC");
  EXPECT_EQ(by_value, "def");
  EXPECT_EQ(server.Log(), "Auth.Login | EVT04700.rdmAloc.GetProdForn t1");
  EXPECT_TRUE(net.Connected());
}

// Arguments are written as variants and the echoed answer is read back as variants:
// a packet, a float with an integral value and a date keep their types both ways; an
// argument that cannot travel is refused before anything is sent.
TEST(TNetConnection, VariantsKeepTheirTypesThereAndBack) {
  ScriptedServer server([](const json& request, const std::string&) {
    return ScriptedServer::Result(request, request["params"], request["params"]);
  });
  TNetConnection net;
  Configure(net, server.Port());
  rt::DataPacket packet;
  packet.fields = {rt::FieldDef{}};
  packet.fields[0].name = "NRFORNE";
  packet.fields[0].type = rt::FieldType::Float;
  packet.rows = {{2.0}, {rt::Variant()}};
  const rt::VariantArray sent{packet, 2.0, rt::DateTime{2026, 1, 31, 10, 0, 0}, "ã\t\"x\""};
  const ServerAnswer answer = net.Call("SetForneMao", {sent[0], sent[1], sent[2], sent[3]});
  ASSERT_TRUE(answer.ok) << answer.error_text;
  EXPECT_EQ(answer.value, rt::Variant(sent));
  EXPECT_EQ(answer.value.AsArray()[1].type(), rt::Variant::Type::Float);

  const ServerAnswer refused = net.Call("SetForneMao", {std::nan("")});
  EXPECT_FALSE(refused.ok);
  EXPECT_THAT(refused.error_text, HasSubstr("Argumento inválido para SetForneMao: a non-finite float"));
  EXPECT_EQ(server.Log(), "Auth.Login | EVT04700.rdmAloc.SetForneMao t1");
}

TEST(TNetConnection, ExpiredTokenSignsInAgainOnceAndRepeatsTheCall) {
  // Only the second token is accepted.
  ScriptedServer server([](const json& request, const std::string& token) {
    if (token != "t2") return ScriptedServer::Error(request, -32001, "not signed in: unknown or expired token");
    return ScriptedServer::Result(request, "ok", request["params"]);
  });
  TNetConnection net;
  Configure(net, server.Port());
  const ServerAnswer answer = net.Call("GetSequencial", {"1", "01"});
  EXPECT_TRUE(answer.ok) << answer.error_text;
  EXPECT_EQ(server.Log(),
            "Auth.Login | EVT04700.rdmAloc.GetSequencial t1 | Auth.Login | EVT04700.rdmAloc.GetSequencial t2");
}

TEST(TNetConnection, TokenRefusedEvenAfterSigningInAgainIsAFailureNotALoop) {
  ScriptedServer server([](const json& request, const std::string&) {
    return ScriptedServer::Error(request, -32001, "not signed in: unknown or expired token");
  });
  TNetConnection net;
  Configure(net, server.Port());
  const ServerAnswer answer = net.Call("GetSequencial", {"1", "01"});
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.error_code, -32001);
  EXPECT_EQ(answer.error_text, "not signed in: unknown or expired token");
  EXPECT_EQ(server.Log(),
            "Auth.Login | EVT04700.rdmAloc.GetSequencial t1 | Auth.Login | EVT04700.rdmAloc.GetSequencial t2");
}

TEST(TNetConnection, AnswersThatCannotBeReadAreFailures) {
  struct Case {
    std::string name;
    std::function<json(const json&)> answer;
    std::string text_part;
  };
  const std::vector<Case> cases = {
      {"no result",
       [](const json& r) {
         return json{{"jsonrpc", "2.0"}, {"id", r["id"]}};
       },
       "Resposta inválida"},
      {"bad variant",
       [](const json& r) {
         return ScriptedServer::Result(r, json{{"x", 1}}, json::array());
       },
       "Resposta inválida"},
      {"error without message",
       [](const json& r) {
         return json{{"id", r["id"]}, {"error", 5}};
       },
       "Falha no servidor de aplicação."},
      {"over the size limit",
       [](const json& r) { return ScriptedServer::Result(r, std::string(65u << 20, 'x'), json::array()); },
       "A resposta do servidor de aplicação tem 66 MiB, acima do limite de 64 MiB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server([&](const json& request, const std::string&) { return c.answer(request); });
    TNetConnection net;
    Configure(net, server.Port());
    const ServerAnswer answer = net.Call("GetSequencial", {"1", "01"});
    EXPECT_FALSE(answer.ok);
    EXPECT_THAT(answer.error_text, HasSubstr(c.text_part));
    EXPECT_EQ(net.LastError(), answer.error_text);
  }
  ScriptedServer html(UpperEcho);
  html.AnswerRaw("<html>proxy error</html>");
  TNetConnection net;
  Configure(net, html.Port());
  const ServerAnswer answer = net.Call("GetSequencial", {"1", "01"});
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.error_text, "Resposta inválida do servidor de aplicação (HTTP 500)");
}

TEST(TNetConnection, EventsAndStateFollowOpenAndClose) {
  ScriptedServer server(UpperEcho);
  TNetConnection net;
  std::string events;
  net.BeforeConnect = [&](TNetConnection& c) {
    events += "before ";
    c.SetHost("http://127.0.0.1/");  // a URL names the host too
    c.SetPort(server.Port());
  };
  net.AfterConnect = [&](TNetConnection& c) { events += c.Connected() ? "after(open) " : "after(closed) "; };
  net.AfterDisconnect = [&](TNetConnection&) { events += "disconnected "; };
  net.SetConnected(true);
  net.SetConnected(true);  // already open: nothing happens
  net.SetConnected(false);
  net.SetConnected(false);
  EXPECT_EQ(events, "before after(open) disconnected ");
  EXPECT_EQ(server.Log(), "") << "without credentials opening only checks the server answers";
  EXPECT_EQ(net.ServerName(), "EVT04700.rdmAloc");
}

TEST(TNetConnection, WrongPasswordKeepsTheServerText) {
  ScriptedServer server(UpperEcho);
  TNetConnection net;
  Configure(net, server.Port(), "nope");
  net.Open();
  EXPECT_FALSE(net.Connected());
  EXPECT_EQ(net.LastError(), "Operador ou senha inválidos.");
}

}  // namespace
}  // namespace clib
