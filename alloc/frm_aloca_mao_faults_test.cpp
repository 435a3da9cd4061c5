// What the clerk meets when the application server fails on the way, through the screen's
// input calls against the real server program (fresh SQLite database, demo data): the
// server stops during a save, restarts between two actions, stalls past the timeout, or
// answers half or not in JSON. Faults on the wire come from a relay in front of the
// server (server/rpc/answer_relay_for_tests.h); a stop happens in the host's wait, right
// before the request leaves.
#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "alloc/screen_test_support.h"
#include "platform/runtime/blocking_wait.h"
#include "server/rpc/answer_relay_for_tests.h"
#include "server/rpc/server_process_for_tests.h"

namespace {

using alloc::testing::ScreenTest;
using srv::fakes::AnswerRelay;

// The host's wait, with a fault that runs once right before the call to `method` is sent.
class FaultBeforeCall : public rt::IBlockingWait {
 public:
  FaultBeforeCall() { rt::InstallBlockingWait(this); }
  ~FaultBeforeCall() override { rt::InstallBlockingWait(nullptr); }
  void Arm(std::string method, std::function<void()> fault) {
    method_ = "(" + std::move(method) + ")";
    fault_ = std::move(fault);
  }
  void Wait(const std::string& what, const std::function<void()>& work) override {
    if (fault_ && what.find(method_) != std::string::npos) std::exchange(fault_, nullptr)();
    work();
  }

 private:
  std::string method_;
  std::function<void()> fault_;
};

class ServerFaultTest : public ScreenTest {
 protected:
  void SetUp() override {
    if (!server_.Start({"--port", "0", "--data", data_.path().string(), "--seed-demo"}))
      FAIL() << "alloc-server did not start: " << server_.Output();
    server_port_ = server_.Port();
    relay_ = std::make_unique<AnswerRelay>(server_port_);
    clib::Session().host = "127.0.0.1";
    clib::Session().password = "demo";
    ConnectTo(server_port_);
    ScreenTest::SetUp();
    clib::TNetConnectionComponent::SetAppServerProvider(nullptr);
    F().netAloc().SetAppServer(nullptr);  // the network, not the double
  }
  void TearDown() override {
    ScreenTest::TearDown();
    server_.Resume();  // a stalled server must still stop
  }

  // The screen's next connection goes to `port` (the server's or the relay's).
  void ConnectTo(int port) {
    clib::Session().port = port;
    if (form_ != nullptr) F().netAloc().SetConnected(false);
  }
  std::string Server() const { return "127.0.0.1:" + std::to_string(clib::Session().port); }

  // Kills the server (SIGKILL) and starts it again on its port, on the same database;
  // with `forget_sessions` the sessions are gone too, as after a restore of the database.
  void Restart(bool forget_sessions = false) {
    server_.Kill();
    if (forget_sessions) {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open((data_.path() / "alloc.db").c_str(), &db), SQLITE_OK);
      EXPECT_EQ(sqlite3_exec(db, "DELETE FROM sessions", nullptr, nullptr, nullptr), SQLITE_OK);
      sqlite3_close(db);
    }
    ASSERT_TRUE(server_.Start({"--port", std::to_string(server_port_), "--data", data_.path().string()}))
        << server_.Output();
  }

  std::string Reloaded() {
    services_.Clear();
    rt::Input::Click(F().Control("sbtVerificar"));
    return GridRows();
  }

  static constexpr const char* kLoaded =
      "COPEIRA/02 #1 1005 | COPEIRA/02 #2 - | GARÇOM/01 #1 1001 | GARÇOM/02 #1 1004 | GARÇOM/01 #2 1003 | "
      "GARÇOM/02 #2 - | GARÇOM/01 #3 - | MAÎTRE/02 #1 -";
  static constexpr const char* kFirstSaved =
      "COPEIRA/02 #1 1005 | COPEIRA/02 #2 1006 | GARÇOM/01 #1 1001 | GARÇOM/02 #1 1004 | GARÇOM/01 #2 1003 | "
      "GARÇOM/02 #2 - | GARÇOM/01 #3 - | MAÎTRE/02 #1 -";
  static constexpr const char* kBothSaved =
      "COPEIRA/02 #1 1005 | COPEIRA/02 #2 1006 | GARÇOM/01 #1 1001 | GARÇOM/02 #1 1004 | GARÇOM/01 #2 1003 | "
      "GARÇOM/02 #2 - | GARÇOM/01 #3 - | MAÎTRE/02 #1 1001";

  srv::fakes::TempDir data_;
  srv::fakes::ServerProcess server_;
  int server_port_ = 0;
  std::unique_ptr<AnswerRelay> relay_;
  FaultBeforeCall wait_;
};

// The server goes away during a save, before the request reached it or after it ran the
// save without answering: the clerk reads why, the row and its change stay, and the next
// save (of another row) sends it with the new one, applied once.
struct SaveFault {
  const char* name;
  bool server_ran_it;
  const char* message;  // what the clerk reads, %s standing for the server
};

class SaveFaultTest : public ServerFaultTest, public ::testing::WithParamInterface<SaveFault> {};

TEST_P(SaveFaultTest, FailedSaveStaysAndGoesWithTheNextOneAppliedOnce) {
  const SaveFault& c = GetParam();
  if (c.server_ran_it) {
    ConnectTo(relay_->Port());
    relay_->SpoilNext("SetForneMao", AnswerRelay::Spoil::NoAnswer);
  } else {
    wait_.Arm("SetForneMao", [this] { server_.Kill(); });
  }
  OpenBudget("12", "1");
  ASSERT_EQ(GridRows(), kLoaded) << services_.Log();
  std::string message = c.message;
  message.replace(message.find("%s"), 2, Server());
  services_.Clear();

  Allocate(F(), 2, "45997418000153", "GERAR CONTA");  // COPEIRA/02 #2
  EXPECT_EQ(services_.Log(), "Busy(6) | Busy off | Error: " + message);
  EXPECT_EQ(F().cdsForneMao().ChangeCount(), 1);
  EXPECT_EQ(F().cdsForneMao().State(), rt::dsBrowse);
  EXPECT_EQ(GridRows(), kFirstSaved);  // the grid keeps the row as the clerk left it

  if (!c.server_ran_it) Restart();
  services_.Clear();
  Allocate(F(), 8, "52998224725", "EM FOLHA");  // MAÎTRE/02 #1
  EXPECT_EQ(services_.Log(), "Busy(6) | Busy off");
  EXPECT_EQ(F().cdsForneMao().ChangeCount(), 0);
  EXPECT_EQ(Reloaded(), kBothSaved);
  if (c.server_ran_it) {
    EXPECT_EQ(relay_->Requests("SetForneMao"), 2);  // never repeated on its own
  }
}

INSTANTIATE_TEST_SUITE_P(
    ServerFaults, SaveFaultTest,
    ::testing::Values(SaveFault{"StoppedBeforeTheRequest", false,
                                "Não foi possível conectar ao servidor de aplicação %s (Connection refused)"},
                      SaveFault{"RanItAndClosedWithoutAnswering", true,
                                "A conexão com o servidor de aplicação %s caiu antes do fim da resposta."}),
    [](const auto& info) { return std::string(info.param.name); });

// A change whose save failed is sent before generation: while the server is away nothing
// is generated and the change stays; once it is back the change goes first, and the
// payables are built from it.
TEST_F(ServerFaultTest, GenerationSendsTheFailedSaveFirstAndGeneratesNothingWhileItFails) {
  OpenBudget("12", "2");  // complete: generation goes through
  ASSERT_EQ(Focused(), "dbgPadrao") << services_.Log();
  wait_.Arm("SetForneMao", [this] { server_.Kill(); });
  rt::TDBGrid& grid = F().dbgPadrao();
  ASSERT_TRUE(grid.SelectCell(2, alloc::testing::kValor));
  ASSERT_TRUE(grid.TypeText("95"));
  EXPECT_FALSE(grid.Key(rt::VK_UP));
  ASSERT_EQ(F().cdsForneMao().ChangeCount(), 1);
  const std::string refused = "Error: Não foi possível conectar ao servidor de aplicação " + Server() +
                              " (Connection refused)";
  services_.Clear();
  EXPECT_FALSE(rt::Input::Click(F().Control("sbtGeraConta")));
  EXPECT_EQ(services_.Log(), "Busy(6) | Busy off | " + refused);  // the save again, and nothing else
  EXPECT_EQ(F().cdsForneMao().ChangeCount(), 1);

  Restart();
  services_.Clear();
  services_.Answer(rt::mrOk);
  ASSERT_TRUE(rt::Input::Click(F().Control("sbtGeraConta"))) << services_.Log();
  EXPECT_EQ(services_.Log(),
            "Busy(6) | Busy off | Busy(6) | Busy off | Busy(6) | Busy off | Busy(6) | MessageDlg(information, OK): "
            "Conta gerada com sucesso. -> OK | Busy off | Busy(1) | Busy off");
  EXPECT_FALSE(F().cdsNfRelacOrc().IsEmpty());
  F().cdsForneMao().SetRecNo(2);
  EXPECT_EQ(F().cdsForneMao().FieldByName("VRPAGOFORNORC").AsFloat(), 95.0);
}

// A clearing whose save fails clears nothing: the grid shows what the server holds, and
// leaving it later completes nothing.
TEST_F(ServerFaultTest, AFailedClearingLeavesEveryProfessionalInPlace) {
  OpenBudget("12", "1");
  ASSERT_EQ(GridRows(), kLoaded) << services_.Log();
  wait_.Arm("SetForneMao", [this] { server_.Kill(); });
  services_.Clear();
  services_.Answer(rt::mrYes);
  EXPECT_FALSE(rt::Input::Click(F().Control("sbtLimpaForn")));
  EXPECT_EQ(services_.Log(),
            "MessageDlg(confirmation, Yes|No): Todos os profissionais do orçamento serão apagados. Confirma operação? "
            "-> Yes | Busy(6) | Busy off | MessageDlg(error, OK): Nenhum profissional foi apagado: Não foi possível "
            "conectar ao servidor de aplicação " +
                Server() + " (Connection refused) -> OK");
  EXPECT_EQ(GridRows(), kLoaded);
  EXPECT_EQ(F().cdsForneMao().ChangeCount(), 0);

  Restart();
  ASSERT_TRUE(rt::Input::FocusControl(F().edtNrOrcamento()));
  OpenBudget("12", "1");
  EXPECT_EQ(GridRows(), kLoaded);
}

// A restart between two actions drops the kept-alive socket and the server forgets the
// session: the next call signs in again once and goes on, directly and through the
// relay, which counts the sign-ins.
TEST_F(ServerFaultTest, RestartBetweenTwoActionsSignsInAgainOnceAndGoesOn) {
  for (bool through_relay : {false, true}) {
    SCOPED_TRACE(through_relay ? "through the relay" : "directly");
    if (through_relay) ConnectTo(relay_->Port());
    OpenBudget("12", "1");
    ASSERT_EQ(GridRows(), through_relay ? kFirstSaved : kLoaded) << services_.Log();
    const int sign_ins = relay_->Requests("Auth.Login");
    Restart(/*forget_sessions=*/true);
    services_.Clear();
    if (through_relay) {
      Allocate(F(), 8, "52998224725", "EM FOLHA");  // MAÎTRE/02 #1
      EXPECT_EQ(relay_->Requests("Auth.Login"), sign_ins + 1);
    } else {
      Allocate(F(), 2, "45997418000153", "GERAR CONTA");  // COPEIRA/02 #2
    }
    EXPECT_EQ(services_.Log(), "Busy(6) | Busy off");
    EXPECT_EQ(F().cdsForneMao().ChangeCount(), 0);
    rt::Input::FocusControl(F().edtNrOrcamento());  // leaves the grid for the next round
  }
  OpenBudget("12", "1");
  EXPECT_EQ(GridRows(), kBothSaved);
}

// A server that stops answering (SIGSTOP) past the read timeout: the wait ends at the
// timeout, the busy animation is hidden, the clerk reads which server did not answer,
// and the grid keeps what it showed.
TEST_F(ServerFaultTest, StalledServerEndsTheWaitAtTheTimeoutNamingTheServer) {
  OpenBudget("12", "1");
  ASSERT_EQ(GridRows(), kLoaded) << services_.Log();
  F().netAloc().Connection().SetTimeouts(2, 1);
  server_.Pause();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Reloaded(), kLoaded);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(services_.Log(), "Busy(1) | Busy off | Error: O servidor de aplicação " + Server() +
                                 " não respondeu em 1 s. Tente de novo; se persistir, avise o suporte.");
  EXPECT_TRUE(services_.BusyBalanced());
  EXPECT_LT(waited, std::chrono::milliseconds(2500));
  server_.Resume();
  EXPECT_EQ(Reloaded(), kLoaded);  // and the next call goes on
  EXPECT_EQ(services_.Log(), "Busy(1) | Busy off");
}

// An answer cut short (on the wire, or its JSON text) or a page that is not JSON: the
// clerk reads a clear message and nothing is loaded, not even in part.
TEST_F(ServerFaultTest, AnswerCutShortOrNotJsonLoadsNothing) {
  struct Case {
    AnswerRelay::Spoil spoil;
    std::string message;
  };
  ConnectTo(relay_->Port());
  OpenBudget("12", "1");
  ASSERT_EQ(GridRows(), kLoaded) << services_.Log();
  const std::string header = F().cdsOrcaEvento().FieldByName("NMFANTCLIE").AsString();
  for (const Case& c : {Case{AnswerRelay::Spoil::CutOnTheWire,
                             "A conexão com o servidor de aplicação " + Server() + " caiu antes do fim da resposta."},
                        Case{AnswerRelay::Spoil::JsonCutShort, "Resposta inválida do servidor de aplicação (HTTP 200)"},
                        Case{AnswerRelay::Spoil::NotJson, "Resposta inválida do servidor de aplicação (HTTP 502)"}}) {
    SCOPED_TRACE(c.message);
    relay_->SpoilNext("GetAlocaForne", c.spoil);
    EXPECT_EQ(Reloaded(), kLoaded);
    EXPECT_EQ(services_.Log(), "Busy(1) | Busy off | Error: " + c.message);
    EXPECT_EQ(F().cdsOrcaEvento().FieldByName("NMFANTCLIE").AsString(), header);
    EXPECT_EQ(F().cdsForneMao().ChangeCount(), 0);
  }
  EXPECT_EQ(Reloaded(), kLoaded);
  EXPECT_EQ(services_.Log(), "Busy(1) | Busy off");
}

}  // namespace
