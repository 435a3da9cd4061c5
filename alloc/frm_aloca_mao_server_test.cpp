// The main path of the allocation screen against the real application server program
// on a loopback port with a fresh SQLite database and the demo data, signed in as the
// demo operator of branch 0001: type a demo budget, leave the panel, read the grid.
#include <gtest/gtest.h>

#include "alloc/screen_test_support.h"
#include "server/rpc/server_process_for_tests.h"

namespace {

using alloc::testing::ScreenTest;

class RealServerTest : public ScreenTest {
 protected:
  static void SetUpTestSuite() {
    server_process_ = new srv::fakes::ServerProcess;
    data_ = new srv::fakes::TempDir;
    if (!server_process_->Start({"--port", "0", "--data", data_->path().string(), "--seed-demo"}))
      FAIL() << "alloc-server did not start: " << server_process_->Output();
  }
  static void TearDownTestSuite() {
    delete server_process_;
    delete data_;
  }

  void SetUp() override {
    ASSERT_GT(server_process_->Port(), 0);
    clib::Session().host = "127.0.0.1";
    clib::Session().port = server_process_->Port();
    clib::Session().password = "demo";
    ScreenTest::SetUp();
    clib::TNetConnectionComponent::SetAppServerProvider(nullptr);
    F().netAloc().SetAppServer(nullptr);  // the network, not the double
  }

  static srv::fakes::ServerProcess* server_process_;
  static srv::fakes::TempDir* data_;
};

srv::fakes::ServerProcess* RealServerTest::server_process_ = nullptr;
srv::fakes::TempDir* RealServerTest::data_ = nullptr;

TEST_F(RealServerTest, DemoBudgetLoadsItsUnitsWithTheirProfessionals) {
  OpenBudget("12", "1");
  EXPECT_EQ(services_.Log(), "Busy(1) | Busy off");
  EXPECT_EQ(Focused(), "dbgPadrao");
  EXPECT_EQ(F().stCdFilial, "0001");
  EXPECT_EQ(F().edtNrOrcamento().Text(), "0000000012");
  EXPECT_EQ(F().edtSeq().Text(), "01");
  EXPECT_EQ(GridRows(),
            "COPEIRA/02 #1 1005 | COPEIRA/02 #2 - | GARÇOM/01 #1 1001 | GARÇOM/02 #1 1004 | GARÇOM/01 #2 1003 | "
            "GARÇOM/02 #2 - | GARÇOM/01 #3 - | MAÎTRE/02 #1 -");
  EXPECT_EQ(F().cdsForneMao().ChangeCount(), 0);
  EXPECT_EQ(F().cdsOrcaEvento().FieldByName("NMFANTCLIE").AsString(), "Buffet Aurora");
  EXPECT_EQ(Enabled(),
            "sbtAlterar sbtPesquisar sbtVerificar sbtImprimir sbtLimpaForn sbtGeraConta mnuAlterar mnuPesquisar "
            "mnuVerificar mnuListagem mnuLimpaForn mnuGeraConta");
}

TEST_F(RealServerTest, BudgetWithPayablesOffersOnlyCancellation) {
  OpenBudget("13", "1");
  ASSERT_EQ(Focused(), "dbgPadrao") << services_.Log();
  EXPECT_FALSE(F().cdsNfRelacOrc().IsEmpty());
  EXPECT_EQ(Enabled(), "sbtPesquisar sbtVerificar sbtImprimir sbtCancelaConta mnuPesquisar mnuVerificar mnuListagem "
                       "mnuCancelaConta");
}

TEST_F(RealServerTest, UnknownBudgetIsRefusedByTheServer) {
  TypeInto(F().edtNrOrcamento(), "777");
  rt::Input::FocusControl(F().edtSeq());
  EXPECT_EQ(services_.Log(), "MessageDlg(error, OK): Orçamento não cadastrado. -> OK");
  EXPECT_EQ(Focused(), "edtNrOrcamento");
}

}  // namespace
