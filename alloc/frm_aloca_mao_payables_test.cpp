// Accounts payable from the allocation screen, driven through its buttons against the
// in-process server double: generation with its checks, the reading of the server's
// refusals, cancellation, clearing every professional, and the print button.
#include <gtest/gtest.h>

#include "alloc/screen_test_support.h"
#include "report/cli_evt04701.h"
#include "report/frm_rel_aloc_mobra.h"

namespace {

using alloc::testing::Aux;
using alloc::testing::ScreenTest;

class PayablesTest : public ScreenTest {
 protected:
  // Three allocated units and two free ones.
  void Open(bool all_allocated = true) {
    Server().allocations = {Aux("01", "GAR", "GARÇOM", 2, "1001", 150.0), Aux("01", "GAR", "GARÇOM", 2, "1002", 150.0),
                            Aux("01", "COP", "COPEIRA", all_allocated ? 1 : 3, "1005", 90.0)};
    OpenBudget("12");
    Journal();
  }
  bool Click(const char* button) { return rt::Input::Click(F().Control(button)); }
  static constexpr const char* kReload = "Busy(1) | GetAlocaForne(0001, 0000000012, 00) | Busy off";
};

TEST_F(PayablesTest, GenerationChecksThenGeneratesAndReloads) {
  Open();
  services_.Answer(rt::mrOk);
  ASSERT_TRUE(Click("sbtGeraConta"));
  EXPECT_EQ(Journal(), std::string("Busy(6) | Get_VrPgMObra(0001, 0000000012, 00) | Busy off | "
                                   "Busy(6) | GetTpFormPgProf(0001, 0000000012, 00) | Busy off | "
                                   "Busy(6) | GeraConta(0001, 0000000012, 00, demo) | "
                                   "MessageDlg(information, OK): Conta gerada com sucesso. -> OK | Busy off | ") +
                           kReload);
  EXPECT_TRUE(services_.BusyBalanced());
}

TEST_F(PayablesTest, AReloadWithPayablesOffersOnlyCancellation) {
  Open();
  Server().payables = {{{"CDFORNECED", "1001"}, {"CDFILIALNF", "0001"}, {"NRLANCTONF", "0000000005"}}};
  services_.Answer(rt::mrOk);
  ASSERT_TRUE(Click("sbtGeraConta"));
  EXPECT_EQ(Enabled(),
            "sbtPesquisar sbtVerificar sbtImprimir sbtCancelaConta mnuPesquisar mnuVerificar mnuListagem "
            "mnuCancelaConta");
}

TEST_F(PayablesTest, GenerationStopsAtTheFirstRefusal) {
  struct Case {
    const char* name;
    bool all_allocated, value_ok, payment_ok;
    rt::Variant gera;
    std::string story;
  } cases[] = {
      {"a free unit", false, true, true, rt::Variant(),
       "MessageDlg(error, OK): Existe mão de obra sem profissional cadastrado. Conta não pode ser gerada. -> OK"},
      {"value zero", true, false, true, rt::Variant(),
       "Busy(6) | Get_VrPgMObra(0001, 0000000012, 00) | Busy off | MessageDlg(error, OK): Não é possível gerar conta "
       "a pagar para mão de obra com valor zero. Operação bloqueada. -> OK"},
      {"payment type", true, true, false, rt::Variant(),
       "Busy(6) | Get_VrPgMObra(0001, 0000000012, 00) | Busy off | Busy(6) | GetTpFormPgProf(0001, 0000000012, 00) | "
       "Busy off | MessageDlg(error, OK): Tipo de pagamento de um ou mais profissionais não está parametrizado como "
       "'gerar conta a pagar'. Operação bloqueada. -> OK"},
      {"already generated", true, true, true, rt::Variant(true),
       "Busy(6) | Get_VrPgMObra(0001, 0000000012, 00) | Busy off | Busy(6) | GetTpFormPgProf(0001, 0000000012, 00) | "
       "Busy off | Busy(6) | GeraConta(0001, 0000000012, 00, demo) | MessageDlg(error, OK): Já existe conta a pagar "
       "de profissionais para o orçamento. -> OK | Busy off"},
  };
  for (const Case& c : cases) {
    Open(c.all_allocated);
    Server().value_check = c.value_ok;
    Server().payment_check = c.payment_ok;
    Server().gera_conta = c.gera;
    EXPECT_FALSE(Click("sbtGeraConta")) << c.name;
    EXPECT_EQ(Journal(), c.story) << c.name;  // no reload after a refusal
    EXPECT_TRUE(services_.BusyBalanced()) << c.name;
    rt::Input::FocusControl(F().edtNrOrcamento());
  }
}

TEST_F(PayablesTest, ServerRefusalsAreReadAsMessageKeys) {
  struct Case {
    const char* failure;
    const char* shown;
  } cases[] = {
      {"N_PARAM_TPCTPAG|12",
       "MessageDlg(error, OK): Tipo de conta a pagar não parametrizado para o tipo de operação 12. -> OK"},
      {"N_PARAM_SERIEENTR", "MessageDlg(error, OK): Série de entrada não parametrizada. -> OK"},
      {"N_PARAM_SERIEENTR|x", "MessageDlg(error, OK): Série de entrada não parametrizada. -> OK"},
      {"N_PARAM_DESCONHECIDO", "MessageDlg(error, OK): N_PARAM_DESCONHECIDO -> OK"},
      {"Banco de dados indisponível.", "Error: Banco de dados indisponível."},
  };
  for (const Case& c : cases) {
    for (const char* method : {"GeraConta", "SetCancelaConta"}) {
      const bool cancel = method == std::string("SetCancelaConta");
      Server().payables.clear();
      if (cancel) Server().payables = {{{"CDFORNECED", "1001"}, {"CDFILIALNF", "0001"}, {"NRLANCTONF", "0000000005"}}};
      Open();
      Server().fail = {{method, c.failure}};
      EXPECT_FALSE(Click(cancel ? "sbtCancelaConta" : "sbtGeraConta")) << c.failure;
      const std::string story = Journal();
      // The animation goes before the message; nothing reloads.
      EXPECT_NE(story.find(std::string(method) + "("), std::string::npos) << story;
      EXPECT_NE(story.find(std::string("Busy off | ") + c.shown), std::string::npos) << method << ": " << story;
      EXPECT_EQ(story.find("GetAlocaForne"), std::string::npos) << story;
      EXPECT_TRUE(services_.BusyBalanced());
      rt::Input::FocusControl(F().edtNrOrcamento());
    }
  }
}

TEST_F(PayablesTest, CancellationAsksNothingAndReloads) {
  Server().payables = {{{"CDFORNECED", "1001"}, {"CDFILIALNF", "0001"}, {"NRLANCTONF", "0000000005"}}};
  Open();
  Server().payables.clear();
  services_.Answer(rt::mrOk);
  ASSERT_TRUE(Click("sbtCancelaConta"));
  EXPECT_EQ(Journal(), std::string("Busy(6) | SetCancelaConta(0001, 0000000012, 00) | MessageDlg(information, OK): "
                                   "Cancelamento realizado com sucesso. -> OK | Busy off | ") +
                           kReload);
  EXPECT_EQ(Enabled(),
            "sbtAlterar sbtPesquisar sbtVerificar sbtImprimir sbtLimpaForn sbtGeraConta mnuAlterar mnuPesquisar "
            "mnuVerificar mnuListagem mnuLimpaForn mnuGeraConta");
}

TEST_F(PayablesTest, ClearingMarksTheAllocatedRowsAndSavesOnce) {
  Open(false);  // three allocated, two free
  services_.Answer(rt::mrNo);
  ASSERT_TRUE(Click("sbtLimpaForn"));
  EXPECT_EQ(Journal(),
            "MessageDlg(confirmation, Yes|No): Todos os profissionais do orçamento serão apagados. "
            "Confirma operação? -> No");

  services_.Answer(rt::mrYes);
  ASSERT_TRUE(Click("sbtLimpaForn"));
  EXPECT_EQ(Journal(),
            std::string("MessageDlg(confirmation, Yes|No): Todos os profissionais do orçamento serão apagados. "
                        "Confirma operação? -> Yes | Busy(6) | SetForneMao(COP#1 1005->* 90 * CONTAPAGAR; GAR#1 "
                        "1001->* 150 * CONTAPAGAR; GAR#2 1002->* 150 * CONTAPAGAR) | Busy off | ") +
                kReload);
}

// A clearing whose save fails (refused or not reached) clears nothing: the marks are
// taken back, so that the grid shows what the server holds and no later exit, reload or
// save completes the clearing unasked.
TEST_F(PayablesTest, AFailedClearingTakesItsMarksBackAndSaysNothingWasCleared) {
  for (int code : {-32000, 0}) {
    SCOPED_TRACE(code);
    F().edtNrOrcamento().SetText("");
    Open(false);
    const std::string loaded = GridRows();
    ASSERT_EQ(loaded, "COPEIRA/01 #1 1005 | COPEIRA/01 #2 - | COPEIRA/01 #3 - | GARÇOM/01 #1 1001 | GARÇOM/01 #2 1002");
    F().cdsForneMao().SetRecNo(4);
    Server().fail["SetForneMao"] = "Servidor indisponível.";
    Server().fail_code = code;
    services_.Answer(rt::mrYes);
    EXPECT_FALSE(Click("sbtLimpaForn"));
    EXPECT_NE(Journal().find("Busy off | MessageDlg(error, OK): Nenhum profissional foi apagado: Servidor "
                             "indisponível. -> OK"),
              std::string::npos);
    rt::TClientDataSet& rows = F().cdsForneMao();
    EXPECT_EQ(GridRows(), loaded);
    EXPECT_EQ(rows.RecNo(), 4);
    EXPECT_EQ(rows.FieldByName("NMFORNMOBRA").AsString(), "Razão 1001");
    EXPECT_EQ(rows.ChangeCount(), 0);
    EXPECT_FALSE(rows.ControlsDisabled());
    EXPECT_TRUE(rows.BeforeInsert && rows.BeforeEdit && rows.BeforePost && rows.AfterPost);
    EXPECT_TRUE(services_.BusyBalanced());

    // Leaving the grid saves nothing: there is nothing to save.
    Server().fail.clear();
    ASSERT_TRUE(rt::Input::FocusControl(F().edtNrOrcamento()));
    EXPECT_EQ(Journal().find("SetForneMao"), std::string::npos);
  }
}

TEST_F(PayablesTest, ClearingABudgetWithoutProfessionalsSavesNothing) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 2)};
  OpenBudget("12");
  Journal();
  services_.Answer(rt::mrYes);
  ASSERT_TRUE(Click("sbtLimpaForn"));
  EXPECT_EQ(Journal(), std::string("MessageDlg(confirmation, Yes|No): Todos os profissionais do orçamento serão "
                                   "apagados. Confirma operação? -> Yes | ") +
                           kReload);  // no SetForneMao, no animation of a save
}

TEST_F(PayablesTest, PrintOpensTheReportFormWithTheSequence) {
  Open();
  ASSERT_TRUE(Click("sbtImprimir"));
  EXPECT_EQ(Journal(), "GetRelatorios(0001, EVT047)");  // the report names, and nothing shown
  ASSERT_TRUE(Cli_evt04701::boRelCriado);
  EXPECT_EQ(frmRelAlocMObra->edtSeqDe().Text(), "00");
  rt::Input::CloseForm(*frmRelAlocMObra);
}

}  // namespace
