// The clerk's work is never wrong or silently lost, driven as a clerk drives the screen
// against the in-process server double: the defaults of the unit's own shift, typed
// amounts and crew times kept, pending changes saved before every action that reloads
// or closes, no row deleted, a registration of blanks, and the way out of a change the
// server refuses.
#include <functional>

#include <gtest/gtest.h>

#include "alloc/screen_test_support.h"
#include "platform/runtime/ui/dbctrls.h"

namespace {

using alloc::testing::Aux;
using alloc::testing::kProf;
using alloc::testing::kTurma;
using alloc::testing::kValor;
using alloc::testing::Values;

class SafetyTest : public alloc::testing::EditingScreenTest {
 protected:
  bool Click(const char* control) { return rt::Input::Click(F().Control(control)); }
  // Reloads the budget with these units (the grid keeps the focus).
  void Reload(std::vector<Values> allocations) {
    Server().allocations = std::move(allocations);
    ASSERT_TRUE(Click("sbtVerificar"));
    Journal();
  }
  // The record number of the first row of a shift.
  int RowOfShift(const std::string& turno) {
    rt::TClientDataSet& rows = Rows();
    for (int r = 1; r <= rows.RecordCount(); ++r) {
      rows.SetRecNo(r);
      if (Field("NRTURNO") == turno) return r;
    }
    return 0;
  }
  static bool Has(const std::string& journal, const std::string& what) {
    return journal.find(what) != std::string::npos;
  }
  // A change to row 1's amount whose save fails: the server cannot be reached.
  void PendingAmount(const char* amount) {
    Server().fail["SetForneMao"] = "Servidor indisponível.";
    Server().fail_code = 0;
    ASSERT_TRUE(Grid().SelectCell(1, kValor));
    ASSERT_TRUE(Grid().TypeText(amount));
    ASSERT_FALSE(Grid().Key(rt::VK_DOWN));
    ASSERT_EQ(Rows().ChangeCount(), 1);
    Journal();
  }
};

// ---- Defaults of the unit's own shift ----------------------------------------------------

TEST_F(SafetyTest, DefaultsComeFromTheRowOfTheUnitsShift) {
  Server().defaults = Values{{"NRTURNO", "01"}, {"VRPAGOMOBRA", 120.0}, {"HRINITUMOBRA", "0800"}};
  Server().other_shifts = {{{"NRTURNO", "02"}, {"VRPAGOMOBRA", 150.0}, {"HRINITUMOBRA", "1900"}}};
  struct Case {
    const char* name;
    const char* turno;  // the free unit's shift
    bool from_list;
    const char* amount_and_crew;
  } cases[] = {
      {"second shift, chosen from the list", "02", true, "150 1900"},
      {"second shift, registration typed", "02", false, "150 1900"},
      {"a shift the answer does not carry: the first row", "03", false, "120 0800"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reload({Aux("01", "GAR", "GARÇOM", 1, "1001", 150.0), Aux(c.turno, "GAR", "GARÇOM", 1)});
    const int row = RowOfShift(c.turno);
    ASSERT_GT(row, 0);
    ASSERT_TRUE(Grid().SelectCell(row, kProf));
    if (c.from_list) {
      services_.ChooseRow(1);
      ASSERT_TRUE(Grid().EditButtonClick());
    } else {
      ASSERT_TRUE(Grid().TypeText("11144477735"));
    }
    ASSERT_TRUE(Grid().Key(rt::VK_TAB)) << services_.Log();
    EXPECT_EQ(Field("VRPAGOFORNORC") + " " + Field("HRINITUMOBRA"), c.amount_and_crew);
    ASSERT_TRUE(Grid().Key(rt::VK_ESCAPE));
  }
}

// ---- What the clerk typed is kept ------------------------------------------------------

// Row 1 holds professional 1001 at 150 and 0800; the item's defaults are 120,5 and 0830.
TEST_F(SafetyTest, LeavingTheProfessionalColumnWritesDefaultsOnlyForANewProfessionalOrABlank) {
  struct Case {
    const char* name;
    std::function<void(rt::TDBGrid&)> before;  // ends in the professional column, then Tab
    const char* row;
    bool asks_defaults;
  } cases[] = {
      {"amount typed, same professional",
       [](rt::TDBGrid& g) {
         ASSERT_TRUE(g.SelectCell(1, kValor));
         ASSERT_TRUE(g.TypeText("175"));
         ASSERT_TRUE(g.SelectCell(1, kProf));
       },
       "1001 52998224701 Razão 1001 | CONTAPAGAR 175 0800", false},
      {"crew time typed, same professional",
       [](rt::TDBGrid& g) {
         ASSERT_TRUE(g.SelectCell(1, kTurma));
         ASSERT_TRUE(g.TypeText("0830"));
         ASSERT_TRUE(g.SelectCell(1, kProf));
       },
       "1001 52998224701 Razão 1001 | CONTAPAGAR 150 0830", false},
      {"amount emptied: its default, the crew time kept",
       [](rt::TDBGrid& g) {
         ASSERT_TRUE(g.SelectCell(1, kValor));
         ASSERT_TRUE(g.TypeText("\b"));
         ASSERT_TRUE(g.SelectCell(1, kProf));
       },
       "1001 52998224701 Razão 1001 | CONTAPAGAR 120,5 0800", true},
      {"another professional typed: both defaults",
       [](rt::TDBGrid& g) {
         ASSERT_TRUE(g.SelectCell(1, kValor));
         ASSERT_TRUE(g.TypeText("175"));
         ASSERT_TRUE(g.SelectCell(1, kProf));
         ASSERT_TRUE(g.TypeText("11144477735"));
       },
       "1002 11144477735 Ana Souza Eventos | CONTAPAGAR 120,5 0830", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.before(Grid());
    ASSERT_TRUE(Grid().Key(rt::VK_TAB)) << services_.Log();
    EXPECT_EQ(Row(), c.row);
    EXPECT_EQ(Has(Journal(), "GetVrPgMObra"), c.asks_defaults);
    // And the post saves what the row shows.
    ASSERT_TRUE(Grid().Key(rt::VK_DOWN)) << services_.Log();
    EXPECT_EQ(Rows().ChangeCount(), 0);
    Reload(Server().allocations);
  }
}

// ---- Pending changes are sent before an action that reloads or closes -----------------

TEST_F(SafetyTest, ActionsSendThePendingChangeFirstAndStopWhenItFails) {
  struct Case {
    const char* name;
    std::function<bool()> act;
    const char* not_called;  // the action's own call, never made while the change fails
  } cases[] = {
      {"generation", [this] { return Click("sbtGeraConta"); }, "Get_VrPgMObra"},
      {"reload (F2)", [this] { return Click("sbtVerificar"); }, "GetAlocaForne"},
      {"clearing",
       [this] {
         services_.Answer(rt::mrYes);
         return Click("sbtLimpaForn");
       },
       "->*"},
      {"closing, kept open",
       [this] {
         services_.Answer(rt::mrNo);  // close anyway? No
         return Click("sbtFechar") && boStCriado;
       },
       "(no call)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PendingAmount("160");
    c.act();
    const std::string story = Journal();
    EXPECT_TRUE(Has(story, "SetForneMao(GAR#1 1001->1001 160 0800 CONTAPAGAR) | Busy off | Error: Servidor "
                           "indisponível."))
        << story;
    EXPECT_FALSE(Has(story, c.not_called)) << story;
    ASSERT_TRUE(boStCriado);
    EXPECT_EQ(Rows().ChangeCount(), 1);
    Rows().SetRecNo(1);
    EXPECT_EQ(Field("VRPAGOFORNORC"), "160");

    // Once the server is back, the same action sends the change first and goes on.
    Server().fail.clear();
    ASSERT_TRUE(Grid().SelectCell(1, kValor));
    ASSERT_TRUE(Grid().TypeText("170"));
    ASSERT_TRUE(Grid().Key(rt::VK_DOWN));
    Reload(Server().allocations);
  }
}

TEST_F(SafetyTest, GenerationAfterAPendingRemovalFindsTheUnitWithoutProfessional) {
  Reload({Aux("01", "GAR", "GARÇOM", 1, "1001", 150.0)});
  Server().fail["SetForneMao"] = "Servidor indisponível.";
  Server().fail_code = 0;
  ASSERT_TRUE(Grid().SelectCell(1, kProf));
  ASSERT_TRUE(Grid().TypeText("\b"));
  services_.Answer(rt::mrYes);  // remove the professional (the post asks)
  EXPECT_FALSE(Grid().Key(rt::VK_DOWN));
  ASSERT_EQ(Rows().ChangeCount(), 1);
  Server().fail.clear();
  Journal();

  EXPECT_FALSE(Click("sbtGeraConta"));
  EXPECT_EQ(Journal(),
            "Busy(6) | SetForneMao(GAR#1 1001->* null null null) | Busy off | MessageDlg(error, OK): Existe mão de "
            "obra sem profissional cadastrado. Conta não pode ser gerada. -> OK");
}

TEST_F(SafetyTest, ClosingSavesTheRowInEditOrAsksBeforeDroppingIt) {
  // A row being edited is checked and saved, then the screen closes.
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("175"));
  ASSERT_TRUE(Click("sbtFechar"));
  EXPECT_TRUE(Has(Journal(), "SetForneMao(GAR#1 1001->1001 175 0800 CONTAPAGAR) | Busy off"));
  EXPECT_FALSE(boStCriado);
}

TEST_F(SafetyTest, ClosingWithAChangeThatCannotBeSavedClosesOnlyWhenTheClerkSaysSo) {
  PendingAmount("160");
  services_.Answer(rt::mrYes);
  ASSERT_TRUE(Click("sbtFechar"));
  EXPECT_EQ(Journal(),
            "Busy(6) | SetForneMao(GAR#1 1001->1001 160 0800 CONTAPAGAR) | Busy off | Error: Servidor indisponível. | "
            "MessageDlg(confirmation, Yes|No): As alterações não gravadas serão perdidas. Fechar a tela mesmo assim? "
            "-> Yes");
  EXPECT_FALSE(boStCriado);
}

// ---- No row is deleted -----------------------------------------------------------------

TEST_F(SafetyTest, TheNavigatorsDeleteChangesNothingAndSavesGoOn) {
  auto& navigator = dynamic_cast<rt::TDBNavigator&>(F().Control("dbnPadrao"));
  const std::string rows = GridRows();
  Rows().SetRecNo(1);
  navigator.Press(rt::nbDelete);
  EXPECT_EQ(GridRows(), rows);
  EXPECT_EQ(Rows().ChangeCount(), 0);
  EXPECT_EQ(Journal(), "");  // no question, no call

  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("175"));
  ASSERT_TRUE(Grid().Key(rt::VK_DOWN));
  EXPECT_TRUE(Has(Journal(), "SetForneMao(GAR#1 1001->1001 175 0800 CONTAPAGAR) | Busy off"));
  ASSERT_TRUE(rt::Input::FocusControl(F().edtNrOrcamento()));  // and the clerk leaves the grid
}

// ---- A registration of blanks ------------------------------------------------------------

TEST_F(SafetyTest, ARegistrationOfBlanksRemovesTheProfessionalWithoutAskingTheServer) {
  ASSERT_TRUE(Grid().SelectCell(1, kProf));
  ASSERT_TRUE(Grid().TypeText("\b"));
  services_.Answer(rt::mrNo);  // the registration is now empty in the row, so any key passes
  EXPECT_FALSE(Grid().Key(rt::VK_TAB));
  ASSERT_TRUE(Grid().TypeText("   "));
  services_.Answer(rt::mrYes);
  ASSERT_TRUE(Grid().Key(rt::VK_TAB));
  EXPECT_EQ(Row(), "* null null | null null null");
  EXPECT_FALSE(Has(Journal(), "GetProdForn"));
}

// ---- A change the server refuses --------------------------------------------------------

TEST_F(SafetyTest, ARefusedChangeOffersToDiscardItAndReload) {
  const std::string refusal =
      "Não há unidade livre nesta mão de obra: outro usuário a preencheu desde que foi carregada. Recarregue o "
      "orçamento.";
  const std::string question = "MessageDlg(confirmation, Yes|No): " + refusal +
                               "\n\nA alteração não foi gravada. Descartar as alterações não gravadas e recarregar o "
                               "orçamento como está no servidor? (Não: elas ficam na grade para gravar de novo.)";
  Server().fail["SetForneMao"] = refusal;
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("160"));
  services_.Answer(rt::mrNo);  // keep it
  EXPECT_FALSE(Grid().Key(rt::VK_DOWN));
  EXPECT_TRUE(Has(Journal(), "Busy off | " + question + " -> No"));
  EXPECT_EQ(Rows().ChangeCount(), 1);
  EXPECT_EQ(Field("VRPAGOFORNORC"), "160");

  // Leaving the grid sends it again; this time the clerk discards it.
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 2, "1001", 150.0), Aux("01", "GAR", "GARÇOM", 2, "1002", 95.0)};
  services_.Answer(rt::mrYes);
  EXPECT_FALSE(rt::Input::FocusControl(F().edtNrOrcamento()));
  EXPECT_TRUE(Has(Journal(), question + " -> Yes | Busy(1) | GetAlocaForne(0001, 0000000012, 00) | Busy off"));
  EXPECT_EQ(Rows().ChangeCount(), 0);
  EXPECT_EQ(GridRows(), "GARÇOM/01 #1 1001 | GARÇOM/01 #2 1002");  // what the server holds
  EXPECT_EQ(Rows().RecNo(), 1);
  EXPECT_EQ(Field("VRPAGOFORNORC"), "150");
  EXPECT_EQ(Focused(), "dbgPadrao");
  ASSERT_TRUE(rt::Input::FocusControl(F().edtNrOrcamento()));  // nothing holds the clerk now
}

}  // namespace
