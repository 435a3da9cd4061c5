// End to end: the built alloc-server program on a loopback port with a fresh SQLite
// database and the demo data, called through TNetConnection as a screen would.
// Every suite here is named ServerEndToEnd* (ctest -R ServerEndToEnd).
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "platform/clientlib/net/net_connection.h"
#include "platform/runtime/packet.h"
#include "server/core/database.h"
#include "server/core/service_fixture.h"
#include "server/rpc/server_process_for_tests.h"

namespace srv {
namespace {

using fakes::ServerProcess;
using fakes::TempDir;
using ::testing::HasSubstr;

std::vector<std::string> ServerArgs(const TempDir& data, int port = 0) {
  return {"--port",      std::to_string(port), "--data", data.path().string(),
          "--seed-demo", "--log-level",        "warn",   "--password-iterations",
          "1000",        "--keep-alive",       "1"};
}

// A connection set up as the allocation screen sets up netAloc: host and port in its
// before-connect event, the operator's credentials.
struct Screen {
  explicit Screen(int port, std::string password = "demo") {
    net.BeforeConnect = [this, port](clib::TNetConnection& c) {
      ++before_connect_calls;
      c.SetHost("127.0.0.1");
      c.SetPort(port);
    };
    net.SetCredentials("demo", std::move(password));
    net.SetTimeouts(2, 10);
  }
  clib::TNetConnection net;
  int before_connect_calls = 0;
};

class ServerEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_ = new TempDir;
    server_ = new ServerProcess;
    ASSERT_TRUE(server_->Start(ServerArgs(*data_))) << server_->Output();
  }
  static void TearDownTestSuite() {
    EXPECT_EQ(server_->Stop(), 0) << "a stopped server exits with 0";
    delete server_;
    delete data_;
  }
  static int Port() { return server_->Port(); }

  static TempDir* data_;
  static ServerProcess* server_;
};
TempDir* ServerEndToEnd::data_ = nullptr;
ServerProcess* ServerEndToEnd::server_ = nullptr;

TEST_F(ServerEndToEnd, ProgramSaysWhereItListens) {
  EXPECT_THAT(server_->Output(), HasSubstr("listening on http://127.0.0.1:" + std::to_string(Port()) + "\n"));
}

TEST_F(ServerEndToEnd, OpensSignedInAndLoadsABudget) {
  Screen screen(Port());
  screen.net.SetConnected(true);
  ASSERT_TRUE(screen.net.Connected()) << screen.net.LastError();
  EXPECT_EQ(screen.before_connect_calls, 1);
  EXPECT_EQ(screen.net.Branches(), std::vector<std::string>{"0001"});

  const clib::ServerAnswer budget = screen.net.Call("GetPesqOrca", {"0001", "0000000012", "1"});
  ASSERT_TRUE(budget.ok) << budget.error_text;
  ASSERT_EQ(budget.value.type(), rt::Variant::Type::Packet);
  EXPECT_EQ(budget.value.AsPacket().RowCount(), 1u);

  const clib::ServerAnswer grid = screen.net.Call("GetAlocaForne", {"0001", "0000000012", "01"});
  ASSERT_TRUE(grid.ok) << grid.error_text;
  ASSERT_EQ(grid.value.type(), rt::Variant::Type::Array);
  ASSERT_EQ(grid.value.AsArray().size(), 4u);
  for (const rt::Variant& packet : grid.value.AsArray()) EXPECT_EQ(packet.type(), rt::Variant::Type::Packet);
  EXPECT_GT(grid.value.AsArray()[2].AsPacket().RowCount(), 0u) << "labour items of the demo budget";
  EXPECT_EQ(screen.before_connect_calls, 1) << "calls reuse the open connection";
}

TEST_F(ServerEndToEnd, ByReferenceArgumentsAreWrittenBack) {
  Screen screen(Port());
  std::string registration = "529.982.247-25";
  const clib::ServerAnswer answer =
      screen.net.Call("GetProdForn", {"MO001", clib::Arg::Ref(registration), "0001", "0000000012"});
  ASSERT_TRUE(answer.ok) << answer.error_text;
  EXPECT_EQ(registration, "52998224725");
  EXPECT_EQ(answer.value.AsArray()[0].AsPacket().RowCount(), 1u);
}

TEST_F(ServerEndToEnd, RefusalsCarryTheServerTextExactly) {
  Screen screen(Port());
  std::string branch = "0001", number = "0000000015";
  const clib::ServerAnswer answer =
      screen.net.Call("GeraConta", {clib::Arg::Ref(branch), clib::Arg::Ref(number), "01", "demo"});
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.error_text, "N_PARAM_CDEMPRESAORCA");
  EXPECT_EQ(answer.error_code, -32000);
  EXPECT_TRUE(screen.net.Connected()) << "a refusal is no connection failure";
}

TEST_F(ServerEndToEnd, WrongPasswordLeavesTheConnectionClosedWithoutRaising) {
  Screen screen(Port(), "wrong");
  screen.net.SetConnected(true);
  EXPECT_FALSE(screen.net.Connected());
  EXPECT_EQ(screen.net.LastError(), "Operador ou senha inválidos.");
  const clib::ServerAnswer answer = screen.net.Call("GetSequencial", {"0000000012", "01"});
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.error_text, "Operador ou senha inválidos.");
}

TEST_F(ServerEndToEnd, UnreachableServerIsAFailedAnswerNamingHostAndPort) {
  const int port = fakes::UnusedPort();
  Screen screen(port);
  screen.net.SetConnected(true);
  const std::string expected =
      "Não foi possível conectar ao servidor de aplicação 127.0.0.1:" + std::to_string(port) + " (Connection refused)";
  EXPECT_FALSE(screen.net.Connected());
  EXPECT_EQ(screen.net.LastError(), expected);

  const clib::ServerAnswer answer = screen.net.Call("GetSequencial", {"0000000012", "01"});
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.error_text, expected);
  EXPECT_EQ(answer.error_code, 0);
  EXPECT_EQ(screen.before_connect_calls, 2) << "each call on a closed connection tries to open it";
}

TEST_F(ServerEndToEnd, OversizeBodyIsRefusedAndTheConnectionGoesOn) {
  Screen screen(Port());
  const std::string huge(std::size_t{9} * 1024 * 1024, 'x');
  const clib::ServerAnswer refused = screen.net.Call("GetSequencial", {huge, "01"});
  EXPECT_FALSE(refused.ok);
  EXPECT_THAT(refused.error_text, HasSubstr("request body larger than 8388608 bytes"));
  const clib::ServerAnswer next = screen.net.Call("GetSequencial", {"0000000012", "01"});
  EXPECT_TRUE(next.ok) << next.error_text;
}

TEST_F(ServerEndToEnd, ConcurrentClientsEachGetTheirOwnAnswers) {
  constexpr int kClients = 8, kCalls = 25;
  std::atomic<int> good{0};
  std::vector<std::thread> clients;
  clients.reserve(kClients);
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&] {
      Screen screen(Port());
      for (int n = 0; n < kCalls; ++n) {
        const std::string seq = n % 2 ? "01" : "02";
        const clib::ServerAnswer a = screen.net.Call("GetSequencial", {"0000000012", seq});
        if (a.ok && a.value.AsPacket().rows.size() == 1 && a.value.AsPacket().rows[0][1] == rt::Variant(seq)) ++good;
      }
    });
  }
  for (auto& t : clients) t.join();
  EXPECT_EQ(good, kClients * kCalls);
}

TEST_F(ServerEndToEnd, PlainHttpClientsGetJsonRpcAnswers) {
  httplib::Client http("127.0.0.1", Port());
  auto health = http.Get("/health");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  EXPECT_EQ(nlohmann::json::parse(health->body), (nlohmann::json{{"status", "ok"}}));

  auto no_path = http.Get("/nothing");
  ASSERT_TRUE(no_path);
  EXPECT_EQ(no_path->status, 404);
  EXPECT_EQ(nlohmann::json::parse(no_path->body)["error"]["code"], -32600);

  auto no_token =
      http.Post("/rpc", R"({"jsonrpc":"2.0","id":3,"method":"EVT04700.rdmAloc.GetSequencial","params":["1","01"]})",
                "application/json");
  ASSERT_TRUE(no_token);
  EXPECT_EQ(no_token->status, 200);
  const auto error = nlohmann::json::parse(no_token->body);
  EXPECT_EQ(error["id"], 3);
  EXPECT_EQ(error["error"]["code"], -32001);

  auto garbage = http.Post("/rpc", "{not json", "application/json");
  ASSERT_TRUE(garbage);
  EXPECT_EQ(nlohmann::json::parse(garbage->body)["error"]["code"], -32700);
}

// The calls a clerk's session makes, through the client against the program: each
// change is in the budget's history, answered by GetHistorico and printed by
// `alloc-server --history`; the refused ones are not.
TEST_F(ServerEndToEnd, HistoryRecordsASessionAndNothingRefused) {
  using testing::GridDelta;
  Screen screen(Port());
  // 1001 is free that evening (its waiter's crew works the morning).
  const testing::Unit free_unit{}, maitre{"1001", "1830", "CONTAPAGAR", 150};
  const auto save = [&](const testing::Unit& from, const testing::Unit& to) {
    rt::DataPacket delta = GridDelta({{"0000000012", "01", "02", "MO004", from, to}}).AsPacket();
    delta.fields.back().size = 50;  // the name field, which the client checks against its size
    return screen.net.Call("SetForneMao", {delta});
  };
  const clib::ServerAnswer first = save(free_unit, maitre);
  ASSERT_TRUE(first.ok) << first.error_text;
  ASSERT_TRUE(save(maitre, {"1001", "1830", "CONTAPAGAR", 175.25}).ok);
  const clib::ServerAnswer refused = save(free_unit, {"1003", "", "", 1});  // the item's only unit is taken
  EXPECT_EQ(refused.error_code, -32000);
  ASSERT_TRUE(save({"1001", "1830", "CONTAPAGAR", 175.25}, {"*", "", "", 0}).ok);
  EXPECT_FALSE(screen.net.Call("GeraConta", {"0001", "0000000012", "01", "demo"}).ok);  // units without professional

  const clib::ServerAnswer history = screen.net.Call("GetHistorico", {"0001", "0000000012"});
  ASSERT_TRUE(history.ok) << history.error_text;
  const rt::DataPacket& lines = history.value.AsPacket();
  std::string actions;
  for (const rt::Row& row : lines.rows) {
    actions += row[static_cast<std::size_t>(lines.FieldIndex("DSOPERACAO"))].AsString() + " ";
  }
  EXPECT_EQ(actions, "ALOCACAO ALTERACAO LIMPEZA ");
  EXPECT_EQ(screen.net.Call("GetHistorico", {"0002", "0000000021"}).error_code, -32000) << "branch not granted";

  ServerProcess printer;
  EXPECT_FALSE(printer.Start({"--data", data_->path().string(), "--history", "0001/12"}));
  EXPECT_EQ(printer.Wait(), 0) << printer.Output();
  const std::string printed = printer.Output();
  EXPECT_THAT(printed, HasSubstr(" demo ALOCACAO 0001/0000000012/01 item 02/MO004 unidade "));
  EXPECT_THAT(printed, HasSubstr(": (livre) -> 1001 R$ 150,00 turma 1830 CONTAPAGAR\n"));
  EXPECT_THAT(printed, HasSubstr(": 1001 R$ 150,00 turma 1830 CONTAPAGAR -> 1001 R$ 175,25 turma 1830 CONTAPAGAR\n"));
  EXPECT_THAT(printed, HasSubstr(" demo LIMPEZA "));
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 3) << printed;
}

// The server goes away and comes back on the same port.
TEST(ServerEndToEndRestart, DroppedConnectionIsReopenedOnTheNextCall) {
  TempDir data;
  ServerProcess server;
  ASSERT_TRUE(server.Start(ServerArgs(data))) << server.Output();
  const int port = server.Port();
  Screen screen(port);
  ASSERT_TRUE(screen.net.Call("GetSequencial", {"0000000012", "01"}).ok);

  ASSERT_EQ(server.Stop(), 0);
  const clib::ServerAnswer while_down = screen.net.Call("GetSequencial", {"0000000012", "01"});
  EXPECT_FALSE(while_down.ok);
  EXPECT_THAT(while_down.error_text, HasSubstr("127.0.0.1:" + std::to_string(port)));
  EXPECT_FALSE(screen.net.Connected());

  ASSERT_TRUE(server.Start(ServerArgs(data, port))) << server.Output();
  const clib::ServerAnswer back = screen.net.Call("GetSequencial", {"0000000012", "01"});
  EXPECT_TRUE(back.ok) << back.error_text;
  EXPECT_TRUE(screen.net.Connected());
  EXPECT_EQ(screen.before_connect_calls, 2);
}

// A server restarted on a new database while the client is idle knows neither the
// socket nor the token: the call goes through after a fresh socket and a new sign-in,
// without the screen seeing anything.
TEST(ServerEndToEndRestart, ForgottenTokenSignsInAgainOnce) {
  TempDir first_data, second_data;
  ServerProcess server;
  ASSERT_TRUE(server.Start(ServerArgs(first_data))) << server.Output();
  const int port = server.Port();
  Screen screen(port);
  ASSERT_TRUE(screen.net.Call("GetSequencial", {"0000000012", "01"}).ok);

  ASSERT_EQ(server.Stop(), 0);
  ASSERT_TRUE(server.Start(ServerArgs(second_data, port))) << server.Output();
  const clib::ServerAnswer answer = screen.net.Call("GetSequencial", {"0000000012", "01"});
  EXPECT_TRUE(answer.ok) << answer.error_text;
  EXPECT_EQ(screen.before_connect_calls, 1) << "the connection stayed open; only the token was renewed";
}

struct ProgramExit {
  std::string name;
  std::vector<std::string> args;
  int code;
};

TEST(ServerEndToEndProgram, ExitCodesSayWhatWentWrong) {
  TempDir data, other;
  // A port that is in use, by a server on a data folder.
  ServerProcess holder;
  ASSERT_TRUE(holder.Start(ServerArgs(data))) << holder.Output();

  const std::vector<ProgramExit> cases = {
      {"unknown option", {"--no-such-option"}, 2},
      {"port out of range", {"--port", "70000"}, 2},
      {"port taken", {"--port", std::to_string(holder.Port()), "--data", other.path().string()}, 4},
      {"database cannot be opened", {"--database", "/nonexistent-folder/x/alloc.db"}, 3},
      {"data folder in use", {"--port", "0", "--data", data.path().string()}, 6},
  };
  for (const ProgramExit& c : cases) {
    SCOPED_TRACE(c.name);
    ServerProcess program;
    EXPECT_FALSE(program.Start(c.args));
    EXPECT_EQ(program.Wait(), c.code) << program.Output();
  }
  EXPECT_EQ(holder.Stop(), 0);

  // Seeding twice is harmless and says so.
  ServerProcess again;
  ASSERT_TRUE(again.Start(ServerArgs(data))) << again.Output();
  EXPECT_THAT(again.Output(), HasSubstr("demo data already present"));
  EXPECT_EQ(again.Stop(), 0);
}

}  // namespace
}  // namespace srv

namespace srv {
namespace {

// Two server processes behind one PostgreSQL database (a schema of its own, dropped at
// the end): a token from one is good on the other, and a save through one is seen
// through the other. Runs when ALLOC_TEST_PG holds a libpq connection string.
TEST(ServerEndToEndPostgres, TwoServersShareOneDatabase) {
  const char* conninfo = std::getenv("ALLOC_TEST_PG");
  if (conninfo == nullptr || *conninfo == '\0') GTEST_SKIP() << "PostgreSQL not tested: ALLOC_TEST_PG is empty";
  const std::string schema = "alloc_e2e_" + std::to_string(::getpid());
  auto drop = [&] { OpenPostgres(conninfo, "")->ExecuteScript("DROP SCHEMA IF EXISTS " + schema + " CASCADE"); };
  drop();
  const std::vector<std::string> args = {"--port",
                                         "0",
                                         "--database",
                                         conninfo,
                                         "--pg-schema",
                                         schema,
                                         "--seed-demo",
                                         "--log-level",
                                         "warn",
                                         "--password-iterations",
                                         "1000",
                                         "--keep-alive",
                                         "1"};
  ServerProcess first, second;
  ASSERT_TRUE(first.Start(args)) << first.Output();
  ASSERT_TRUE(second.Start(args)) << second.Output();
  EXPECT_THAT(second.Output(), HasSubstr("demo data already present"));

  httplib::Client one("127.0.0.1", first.Port()), other("127.0.0.1", second.Port());
  auto login = one.Post("/rpc", R"({"jsonrpc":"2.0","id":1,"method":"Auth.Login","params":["demo","demo"]})",
                        "application/json");
  ASSERT_TRUE(login);
  const std::string token = nlohmann::json::parse(login->body)["result"]["token"];
  const httplib::Headers auth = {{"Authorization", "Bearer " + token}};
  auto answer =
      other.Post("/rpc", auth,
                 R"({"jsonrpc":"2.0","id":2,"method":"EVT04700.rdmAloc.GetSequencial","params":["0000000012","01"]})",
                 "application/json");
  ASSERT_TRUE(answer);
  EXPECT_TRUE(nlohmann::json::parse(answer->body).contains("result")) << answer->body;

  // And through TNetConnection.
  Screen screen(second.Port());
  EXPECT_TRUE(screen.net.Call("GetPesqOrca", {"0001", "0000000012", "1"}).ok) << screen.net.LastError();

  EXPECT_EQ(first.Stop(), 0);
  EXPECT_EQ(second.Stop(), 0);
  drop();
}

}  // namespace
}  // namespace srv
