// The main path of the allocation screen against the real application server program
// on a loopback port with a fresh SQLite database and the demo data, signed in as the
// demo operator of branch 0001: type a demo budget, leave the panel, read the grid.
#include <gtest/gtest.h>

#include "alloc/screen_test_support.h"
#include "platform/clientlib/server_result.h"
#include "server/rpc/server_process_for_tests.h"

namespace {

using alloc::testing::kValor;
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
  EXPECT_EQ(Enabled(),
            "sbtPesquisar sbtVerificar sbtImprimir sbtCancelaConta mnuPesquisar mnuVerificar mnuListagem "
            "mnuCancelaConta");
}

TEST_F(RealServerTest, UnknownBudgetIsRefusedByTheServer) {
  TypeInto(F().edtNrOrcamento(), "777");
  rt::Input::FocusControl(F().edtSeq());
  EXPECT_EQ(services_.Log(), "MessageDlg(error, OK): Orçamento não cadastrado. -> OK");
  EXPECT_EQ(Focused(), "edtNrOrcamento");
}

}  // namespace

namespace {

// A server of its own for each test that changes data, so that tests never see each
// other's saves.
class FreshServerTest : public ScreenTest {
 protected:
  void SetUp() override {
    if (!server_process_.Start({"--port", "0", "--data", data_.path().string(), "--seed-demo"}))
      FAIL() << "alloc-server did not start: " << server_process_.Output();
    clib::Session().host = "127.0.0.1";
    clib::Session().port = server_process_.Port();
    clib::Session().password = "demo";
    ScreenTest::SetUp();
    clib::TNetConnectionComponent::SetAppServerProvider(nullptr);
    F().netAloc().SetAppServer(nullptr);  // the network, not the double
  }

  srv::fakes::TempDir data_;
  srv::fakes::ServerProcess server_process_;
};

TEST_F(FreshServerTest, AllocatedProfessionalIsFoundAfterAReload) {
  OpenBudget("12", "1");
  ASSERT_EQ(Focused(), "dbgPadrao") << services_.Log();
  services_.Clear();
  Allocate(F(), 2, "45997418000153", "GERAR CONTA");  // COPEIRA/02 #2, a company
  EXPECT_EQ(services_.Log(), "Busy(6) | Busy off");
  EXPECT_EQ(F().cdsForneMao().ChangeCount(), 0);

  ASSERT_TRUE(rt::Input::Click(F().Control("sbtVerificar")));
  EXPECT_EQ(GridRows(),
            "COPEIRA/02 #1 1005 | COPEIRA/02 #2 1006 | GARÇOM/01 #1 1001 | GARÇOM/02 #1 1004 | GARÇOM/01 #2 1003 | "
            "GARÇOM/02 #2 - | GARÇOM/01 #3 - | MAÎTRE/02 #1 -");
  rt::TClientDataSet& rows = F().cdsForneMao();
  rows.SetRecNo(2);
  EXPECT_EQ(rows.FieldByName("NRINSJURFORN").DisplayText(), "45.997.418/0001-53");
  EXPECT_EQ(rows.FieldByName("IDTIPOPAGAFORN").DisplayText(), "GERAR CONTA");
  EXPECT_EQ(rows.FieldByName("HRINITUMOBRA").DisplayText(), "19:00");
  EXPECT_EQ(rows.FieldByName("VRPAGOFORNORC").AsFloat(), 100.0);
}

// GARÇOM is offered in two shifts of 12/01 (01: 120,00 at 08:00; 02: 150,00 at 19:00):
// a professional put on the shift-02 unit gets that shift's defaults, and the post
// accepts its crew time.
TEST_F(FreshServerTest, AProfessionalOnASecondShiftUnitGetsThatShiftsDefaultsAndSaves) {
  OpenBudget("12", "1");
  ASSERT_EQ(Focused(), "dbgPadrao") << services_.Log();
  rt::TDBGrid& grid = F().dbgPadrao();
  ASSERT_TRUE(grid.SelectCell(6, alloc::testing::kProf));  // GARÇOM/02 #2, free
  ASSERT_EQ(F().cdsForneMao().FieldByName("NRTURNO").AsString(), "02");
  services_.ChooseRow(0);  // the first of those free that evening: Garçons Aurora
  ASSERT_TRUE(grid.EditButtonClick()) << services_.Log();
  ASSERT_TRUE(grid.Key(rt::VK_TAB)) << services_.Log();
  rt::TClientDataSet& rows = F().cdsForneMao();
  EXPECT_EQ(rows.FieldByName("CDFORNECED").AsString(), "1003");
  EXPECT_EQ(rows.FieldByName("VRPAGOFORNORC").AsFloat(), 150.0);
  EXPECT_EQ(rows.FieldByName("HRINITUMOBRA").AsString(), "1900");
  services_.Clear();
  ASSERT_TRUE(grid.Key(rt::VK_UP)) << services_.Log();
  EXPECT_EQ(services_.Log(), "Busy(6) | Busy off");
  ASSERT_TRUE(rt::Input::Click(F().Control("sbtVerificar")));
  rows.SetRecNo(6);  // GARÇOM/02 #2
  EXPECT_EQ(rows.FieldByName("NRTURNO").AsString() + " " + rows.FieldByName("HRINITUMOBRA").AsString(), "02 1900");
  EXPECT_EQ(rows.FieldByName("VRPAGOFORNORC").AsFloat(), 150.0);
}

TEST_F(FreshServerTest, TheHistoryRecordsWhatTheClerkSavedAndNothingOfARefusal) {
  OpenBudget("12", "1");
  services_.Clear();
  Allocate(F(), 2, "45997418000153", "GERAR CONTA");  // saved
  // A save the server refuses: the professional is already at this event in another
  // budget of the same date and hour (known to the server, not to the grid).
  rt::TDBGrid& grid = F().dbgPadrao();
  ASSERT_TRUE(grid.SelectCell(8, kValor));  // MAÎTRE/02 #1, free: an amount alone
  ASSERT_TRUE(grid.TypeText("50"));
  services_.Answer(rt::mrYes);        // discard the refused change and reload
  EXPECT_FALSE(grid.Key(rt::VK_UP));  // no professional: the server refuses to store an amount alone
  const std::string story = services_.Log();
  EXPECT_EQ(F().cdsForneMao().ChangeCount(), 0) << story;

  rt::TClientDataSet history;
  history.SetData(
      clib::CheckResultServ(F().netAloc().Call("GetHistorico", {"0001", "0000000012"}), true, 0).AsPacket());
  std::string entries;
  for (history.First(); !history.Eof(); history.Next())
    entries += history.FieldByName("DSOPERACAO").AsString() + " " + history.FieldByName("CDOPERADOR").AsString() + " " +
               history.FieldByName("CDPRODUTO").AsString() + " " + history.FieldByName("CDFORNANTERIOR").AsString() +
               "->" + history.FieldByName("CDFORNECED").AsString() + "; ";
  EXPECT_EQ(entries, "ALOCACAO demo MO002 ->1006; ");
}

TEST_F(FreshServerTest, AmountsAreStoredAsTheyAreShown) {
  OpenBudget("12", "1");
  struct Case {
    const char* typed;
    double stored;
  } cases[] = {{"1,005", 1.01}, {"2,675", 2.68}, {"0,30000000000000004", 0.3}};
  rt::TDBGrid& grid = F().dbgPadrao();
  for (const Case& c : cases) {
    ASSERT_TRUE(grid.SelectCell(3, kValor));  // GARÇOM/01 #1
    ASSERT_TRUE(grid.TypeText(c.typed));
    ASSERT_TRUE(grid.Key(rt::VK_UP)) << services_.Log();
    ASSERT_TRUE(rt::Input::Click(F().Control("sbtVerificar")));
    F().cdsForneMao().SetRecNo(3);
    EXPECT_EQ(F().cdsForneMao().FieldByName("VRPAGOFORNORC").AsFloat(), c.stored) << c.typed;
  }
}

TEST_F(FreshServerTest, PayablesAreGeneratedAndCancelledFromTheButtons) {
  OpenBudget("12", "2");  // complete: generation succeeds
  ASSERT_EQ(Focused(), "dbgPadrao") << services_.Log();
  auto generated = [&] {
    std::string out;
    rt::TClientDataSet& rows = F().cdsForneMao();
    for (rows.First(); !rows.Eof(); rows.Next())
      out += rows.FieldByName("CDFORNECED").AsString() + "=" + rows.FieldByName("IDCONTAGERADA").AsString() + " ";
    return out;
  };
  EXPECT_EQ(generated(), "1005=N 1008=N 1003=N ");
  services_.Clear();
  services_.Answer(rt::mrOk);
  ASSERT_TRUE(rt::Input::Click(F().Control("sbtGeraConta")));
  EXPECT_EQ(services_.Log(),
            "Busy(6) | Busy off | Busy(6) | Busy off | Busy(6) | MessageDlg(information, OK): Conta "
            "gerada com sucesso. -> OK | Busy off | Busy(1) | Busy off");
  EXPECT_FALSE(F().cdsNfRelacOrc().IsEmpty());
  EXPECT_EQ(generated(), "1005=N 1008=S 1003=S ");  // the rows paid by account turn green
  EXPECT_EQ(Enabled(),
            "sbtPesquisar sbtVerificar sbtImprimir sbtCancelaConta mnuPesquisar mnuVerificar mnuListagem "
            "mnuCancelaConta");

  services_.Clear();
  services_.Answer(rt::mrOk);
  ASSERT_TRUE(rt::Input::Click(F().Control("sbtCancelaConta")));
  EXPECT_EQ(services_.Log(),
            "Busy(6) | MessageDlg(information, OK): Cancelamento realizado com sucesso. -> OK | "
            "Busy off | Busy(1) | Busy off");
  EXPECT_TRUE(F().cdsNfRelacOrc().IsEmpty());
  EXPECT_EQ(generated(), "1005=N 1008=N 1003=N ");
  EXPECT_EQ(Enabled(),
            "sbtAlterar sbtPesquisar sbtVerificar sbtImprimir sbtLimpaForn sbtGeraConta mnuAlterar mnuPesquisar "
            "mnuVerificar mnuListagem mnuLimpaForn mnuGeraConta");
}

TEST_F(FreshServerTest, RefusalsOfTheServerReachTheClerkAsTheirTexts) {
  struct Case {
    const char* budget;
    const char* button;
    const char* shown;
  } cases[] = {
      {"14", "sbtCancelaConta",
       "Não foi possível realizar o cancelamento, pois a conta a pagar encontra-se baixada. Operação bloqueada."},
      {"16", "sbtGeraConta", "Não é possível gerar conta a pagar para mão de obra com valor zero. Operação bloqueada."},
      {"18", "sbtGeraConta", "Empresa ou sua Inscrição Estadual  não esta relacionada a filial. "},
  };
  for (const Case& c : cases) {
    rt::Input::FocusControl(F().edtNrOrcamento());
    F().edtNrOrcamento().SetText("");
    OpenBudget(c.budget, "1");
    ASSERT_EQ(Focused(), "dbgPadrao") << c.budget << ": " << services_.Log();
    services_.Clear();
    EXPECT_FALSE(rt::Input::Click(F().Control(c.button))) << c.budget;
    EXPECT_NE(services_.Log().find(std::string("MessageDlg(error, OK): ") + c.shown + " -> OK"), std::string::npos)
        << c.budget << ": " << services_.Log();
    EXPECT_TRUE(services_.BusyBalanced());
  }
}

TEST_F(FreshServerTest, ClearingFreesEveryUnitOfTheBudget) {
  OpenBudget("12", "1");
  services_.Clear();
  services_.Answer(rt::mrYes);
  ASSERT_TRUE(rt::Input::Click(F().Control("sbtLimpaForn")));
  EXPECT_EQ(services_.Log(),
            "MessageDlg(confirmation, Yes|No): Todos os profissionais do orçamento serão apagados. Confirma operação? "
            "-> Yes | Busy(6) | Busy off | Busy(1) | Busy off");
  EXPECT_EQ(GridRows(),
            "COPEIRA/02 #1 - | COPEIRA/02 #2 - | GARÇOM/01 #1 - | GARÇOM/02 #1 - | GARÇOM/01 #2 - | GARÇOM/02 #2 - | "
            "GARÇOM/01 #3 - | MAÎTRE/02 #1 -");
}

TEST_F(FreshServerTest, TwoClerksTakeTheLastFreeUnitAndTheSecondIsRefused) {
  OpenBudget("12", "1");
  TfrmAlocaMao& first = F();
  boStCriado = false;  // the second clerk's screen, with a session of its own
  CriaAlocaMaoObra();
  TfrmAlocaMao& second = *frmAlocaMao;
  second.netAloc().SetAppServer(nullptr);
  form_ = &second;
  OpenBudget("12", "1");
  services_.Clear();

  Allocate(first, 6, "11222333000181", "GERAR CONTA");  // GARÇOM/02 #2, the item's last free unit
  EXPECT_EQ(services_.Log(), "Busy(6) | Busy off");
  services_.Clear();
  const std::string refusal =
      "Não há unidade livre nesta mão de obra: outro usuário a preencheu desde que foi carregada. Recarregue o "
      "orçamento.\n\nA alteração não foi gravada. Descartar as alterações não gravadas e recarregar o orçamento como "
      "está no servidor? (Não: elas ficam na grade para gravar de novo.)";
  services_.Answer(rt::mrNo);  // keep it: the second clerk's choice stays pending
  Allocate(second, 6, "11144477735", "EM FOLHA");
  EXPECT_EQ(services_.Log(), "Busy(6) | Busy off | MessageDlg(confirmation, Yes|No): " + refusal + " -> No");
  EXPECT_EQ(second.cdsForneMao().ChangeCount(), 1);
  second.cdsForneMao().SetRecNo(6);
  EXPECT_EQ(second.cdsForneMao().FieldByName("CDFORNECED").AsString(), "1002");

  // The reload sends it again and is refused again: now the clerk takes the way out.
  services_.Clear();
  services_.Answer(rt::mrYes);
  EXPECT_FALSE(rt::Input::Click(second.Control("sbtVerificar")));
  EXPECT_EQ(services_.Log(),
            "Busy(6) | Busy off | MessageDlg(confirmation, Yes|No): " + refusal + " -> Yes | Busy(1) | Busy off");
  EXPECT_EQ(second.cdsForneMao().ChangeCount(), 0);
  EXPECT_EQ(GridRows(),
            "COPEIRA/02 #1 1005 | COPEIRA/02 #2 - | GARÇOM/01 #1 1001 | GARÇOM/02 #1 1004 | GARÇOM/01 #2 1003 | "
            "GARÇOM/02 #2 1003 | GARÇOM/01 #3 - | MAÎTRE/02 #1 -");  // the first clerk's choice, once
  EXPECT_EQ(second.cdsForneMao().RecNo(), 6);  // still on the unit the clerk was at
  EXPECT_TRUE(rt::Input::FocusControl(second.edtNrOrcamento()));  // and the clerk can leave the grid

  rt::Input::CloseForm(second);
  form_ = &first;
  frmAlocaMao = &first;
  boStCriado = true;
}

}  // namespace
