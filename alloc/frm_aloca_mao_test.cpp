// The allocation screen driven as a user drives it — focus, type, leave, search, leave
// the panel — against an in-process double of the application server: budget
// selection, loading of the grid and the button states.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "alloc/grid_rows.h"
#include "alloc/screen_test_support.h"
#include "platform/clientlib/ui_routines.h"
#include "platform/runtime/abort.h"

namespace {

using alloc::testing::Aux;
using alloc::testing::ScreenTest;
using rt::Input::FocusControl;
using rt::Input::TypeText;

// ---- Budget selection ----------------------------------------------------------------

using SelectionTest = ScreenTest;

TEST_F(SelectionTest, KeyFiltersKeepLettersDigitsAndBackspace) {
  struct Case {
    const char* box;
    std::string typed;
    const char* shown;
  } cases[] = {
      {"edtNrOrcamento", "1.2-3 4\r5", "12345"},
      {"edtNrOrcamento", "ab9", "AB9"},
      {"edtNrOrcamento", "12\b3", "13"},
      {"edtNrOrcamento", "ç%1", "1"},
      {"edtSeq", "0a1", "01"},
      {"edtSeq", "1\b2", "2"},
  };
  for (const Case& c : cases) {
    auto& box = dynamic_cast<rt::TEdit&>(F().Control(c.box));
    F().edtNrOrcamento().SetText("");  // an empty number is left without a check
    box.SetText("");
    TypeInto(box, c.typed);
    EXPECT_EQ(box.Text(), c.shown) << c.box << " typed " << c.typed;
  }
}

TEST_F(SelectionTest, LeavingTheNumberPadsItChecksItAndPresetsTheSequence) {
  TypeInto(F().edtNrOrcamento(), "12");
  FocusControl(F().edtSeq());
  EXPECT_EQ(Journal(), "GetPesqOrca(0001, 0000000012, 1)");
  EXPECT_EQ(F().edtNrOrcamento().Text(), "0000000012");
  EXPECT_EQ(F().edtSeq().Text(), "00");
  EXPECT_EQ(F().stCdFilial, "0001");
  EXPECT_EQ(F().stNrOrcamento, "0000000012");
  EXPECT_EQ(Focused(), "edtSeq");
}

TEST_F(SelectionTest, UnknownNumberStaysPaddedWithTheFocusAndNothingInHand) {
  TypeInto(F().edtNrOrcamento(), "99");
  FocusControl(F().edtSeq());
  EXPECT_EQ(Journal(), "GetPesqOrca(0001, 0000000099, 1) | MessageDlg(error, OK): Orçamento não cadastrado. -> OK");
  EXPECT_EQ(F().edtNrOrcamento().Text(), "0000000099");
  EXPECT_EQ(F().edtSeq().Text(), "");
  EXPECT_EQ(F().stCdFilial + F().stNrOrcamento, "");
  EXPECT_EQ(Focused(), "edtNrOrcamento");
}

TEST_F(SelectionTest, EmptyNumberPassesTheBoxButNotThePanel) {
  FocusControl(F().edtNrOrcamento());
  FocusControl(F().edtSeq());
  EXPECT_EQ(Journal(), "");
  EXPECT_EQ(F().edtSeq().Text(), "");
  FocusControl(F().dbgPadrao());
  EXPECT_EQ(Journal(), "MessageDlg(error, OK): Orçamento deve ser informado. -> OK");
  EXPECT_EQ(Focused(), "edtNrOrcamento");
}

TEST_F(SelectionTest, ServerFailureInTheNumberCheckFocusesTheNumber) {
  Server().fail["GetPesqOrca"] = "Banco de dados ocupado por outra operação. Tente novamente.";
  TypeInto(F().edtNrOrcamento(), "12");
  FocusControl(F().edtSeq());
  EXPECT_EQ(Journal(),
            "GetPesqOrca(0001, 0000000012, 1) | Error: Banco de dados ocupado por outra operação. Tente novamente.");
  EXPECT_EQ(Focused(), "edtNrOrcamento");
}

TEST_F(SelectionTest, SequenceFailuresFocusTheSequence) {
  TypeInto(F().edtNrOrcamento(), "12");
  FocusControl(F().edtSeq());
  F().edtSeq().SetText("");
  Journal();
  FocusControl(F().dbgPadrao());
  EXPECT_EQ(Journal(),
            "GetPesqOrca(0001, 0000000012, 1) | MessageDlg(error, OK): Sequencial deve ser informado. -> OK");
  EXPECT_EQ(Focused(), "edtSeq");

  TypeText("7");
  FocusControl(F().dbgPadrao());
  EXPECT_EQ(Journal(),
            "GetPesqOrca(0001, 0000000012, 1) | GetSequencial(0000000012, 07) | MessageDlg(error, OK): Sequencial não "
            "cadastrado. -> OK");
  EXPECT_EQ(F().edtSeq().Text(), "07");
  EXPECT_EQ(Focused(), "edtSeq");
  EXPECT_EQ(F().stNrOrcamento, "0000000012");
}

TEST_F(SelectionTest, OneDigitSequenceIsPaddedWhenThePanelIsLeft) {
  OpenBudget("12", "2");
  EXPECT_EQ(Journal(),
            "GetPesqOrca(0001, 0000000012, 1) | GetPesqOrca(0001, 0000000012, 1) | GetSequencial(0000000012, 02) | "
            "Busy(1) | GetAlocaForne(0001, 0000000012, 02) | Busy off");
  EXPECT_EQ(F().edtSeq().Text(), "02");
  EXPECT_EQ(Focused(), "dbgPadrao");
}

TEST_F(SelectionTest, ReturningToTheNumberResetsTheSequence) {
  TypeInto(F().edtNrOrcamento(), "12");
  TypeInto(F().edtSeq(), "\b\b2");
  ASSERT_EQ(F().edtSeq().Text(), "2");
  FocusControl(F().edtNrOrcamento());
  FocusControl(F().edtSeq());
  EXPECT_EQ(F().edtSeq().Text(), "00");
}

TEST_F(SelectionTest, SearchListChoiceFillsNumberAndBudgetInHandButNotTheSequence) {
  services_.ChooseRow(1);
  rt::Input::Click(F().btnNrOrcamento());
  EXPECT_EQ(Journal(), "GetPesqOrca(0001, , ) | PickList(Orçamento; Filial|Nr. Orçamento; 2 rows) -> 1");
  EXPECT_EQ(services_.PickLists().back().empty_text, "Não há orçamento cadastrado.");
  EXPECT_EQ(F().edtNrOrcamento().Text(), "0000000013");
  EXPECT_EQ(F().stCdFilial, "0001");
  EXPECT_EQ(F().stNrOrcamento, "0000000013");
  EXPECT_EQ(F().edtSeq().Text(), "");
  EXPECT_EQ(Focused(), "edtNrOrcamento");
  FocusControl(F().edtSeq());
  EXPECT_EQ(F().edtSeq().Text(), "00");
}

TEST_F(SelectionTest, ServerFailureInTheSearchLeavesNothingChosen) {
  TypeInto(F().edtNrOrcamento(), "12");
  FocusControl(F().edtSeq());
  Journal();
  Server().fail["GetPesqOrca"] = "Erro ao acessar o banco de dados do servidor de aplicação.";
  EXPECT_FALSE(rt::Input::Click(F().btnNrOrcamento()));
  EXPECT_EQ(Journal(), "GetPesqOrca(0001, , ) | Error: Erro ao acessar o banco de dados do servidor de aplicação.");
  EXPECT_EQ(Focused(), "edtNrOrcamento");
  EXPECT_EQ(F().edtNrOrcamento().Text(), "0000000012");
  EXPECT_EQ(F().stNrOrcamento, "0000000012");
}

TEST_F(SelectionTest, CancelledSearchFromTheGridDiscardsTheBudgetAndChangesNothingElse) {
  OpenBudget("12");
  ASSERT_EQ(F().cdsForneMao().Active(), true);
  Journal();
  services_.CancelPick();
  rt::Input::Click(F().btnNrOrcamento());
  EXPECT_EQ(Journal(), "GetPesqOrca(0001, , ) | PickList(Orçamento; Filial|Nr. Orçamento; 2 rows) -> cancelled");
  EXPECT_EQ(Focused(), "edtNrOrcamento");
  EXPECT_EQ(F().edtNrOrcamento().Text(), "0000000012");
  EXPECT_EQ(F().edtSeq().Text(), "00");
  EXPECT_EQ(F().stNrOrcamento, "0000000012");
  EXPECT_FALSE(F().cdsForneMao().Active());
  EXPECT_FALSE(F().cdsOrcaEvento().Active());
}

TEST_F(SelectionTest, EnteringThePanelAgainEmptiesGridAndHeaderAndLeavingReloads) {
  Server().allocations = {Aux("01", "G", "GARÇOM", 2)};
  OpenBudget("12");
  EXPECT_EQ(GridRows(), "GARÇOM/01 #1 - | GARÇOM/01 #2 -");
  FocusControl(F().edtSeq());
  EXPECT_EQ(GridRows(), "(closed)");
  EXPECT_FALSE(F().cdsOrcaEvento().Active());
  EXPECT_FALSE(F().cdsItMaoObra().Active());
  Journal();
  FocusControl(F().dbgPadrao());
  EXPECT_EQ(Journal(),
            "GetPesqOrca(0001, 0000000012, 1) | GetSequencial(0000000012, 00) | Busy(1) | "
            "GetAlocaForne(0001, 0000000012, 00) | Busy off");
  EXPECT_EQ(GridRows(), "GARÇOM/01 #1 - | GARÇOM/01 #2 -");
}

// ---- Loading the grid -------------------------------------------------------------------

using LoadTest = ScreenTest;

TEST_F(LoadTest, LeavingThePanelChecksTwiceThenLoadsUnderTheBusyAnimation) {
  OpenBudget("12");
  EXPECT_EQ(Journal(),
            "GetPesqOrca(0001, 0000000012, 1) | GetPesqOrca(0001, 0000000012, 1) | GetSequencial(0000000012, 00) | "
            "Busy(1) | GetAlocaForne(0001, 0000000012, 00) | Busy off");
  EXPECT_TRUE(services_.BusyBalanced());
  EXPECT_EQ(Focused(), "dbgPadrao");
}

TEST_F(LoadTest, RowsAreNumberedAllocatedFirstThenFreeAndOrderedByDescription) {
  Server().allocations = {
      Aux("01", "MAI", "MAÎTRE", 1),                 // one free unit
      Aux("01", "GAR", "GARÇOM", 3, "1004", 150.0),  // two allocations, packet order kept
      Aux("01", "GAR", "GARÇOM", 3, "1001", 150.0),
      Aux("02", "GAR", "GARÇOM", 2.9, "1003", 180.0),  // 2.9 units: 2
      Aux("01", "COP", "COPEIRA", 2, "1005", 90.0),
      Aux("01", "COP", "COPEIRA", 2, "1006", 90.0),  // more allocations than units
      Aux("01", "COP", "COPEIRA", 2, "1008", 90.0),
      Aux("01", "COZ", "COZINHEIRO", 0, "1002", 0.0),  // quantity 0: allocation only
      Aux("01", "SEG", "SEGURANÇA", 0),                // quantity 0, free: no row
      Aux("01", "REC", "RECEPCIONISTA", -1),           // negative: no row
  };
  OpenBudget("12");
  EXPECT_EQ(GridRows(),
            "COPEIRA/01 #1 1005 | COPEIRA/01 #2 1006 | COPEIRA/01 #3 1008 | COZINHEIRO/01 #1 1002 | "
            "GARÇOM/01 #1 1004 | GARÇOM/02 #1 1003 | GARÇOM/01 #2 1001 | GARÇOM/02 #2 - | GARÇOM/01 #3 - | "
            "MAÎTRE/01 #1 -");
  EXPECT_EQ(F().cdsForneMao().ChangeCount(), 0);
  EXPECT_EQ(F().cdsForneMao().IndexFieldNames(), "NMPRODUTO;NRFORNE");
}

TEST_F(LoadTest, AllocatedAndFreeRowsCarryTheirFields) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 2, "1001", 150.25), Aux("02", "MAI", "MAÎTRE", 1, "1004")};
  Server().qt_hr_evento = 5.5;
  F().stCdFilial = "";
  OpenBudget("12");
  rt::TClientDataSet& ds = F().cdsForneMao();
  auto row = [&]() {
    std::string out;
    for (const char* name :
         {"CDFILIAL",    "NRORCAEVENTO", "NRSEQORCAEVE",   "NRTURNO",       "CDPRODUTO",     "NMPRODUTO",
          "NRFORNE",     "CDFORNECED",   "NRINSJURFORN",   "IDTPIJURFORN",  "NMFANTFORN",    "NMRAZSOCFORN",
          "NMFORNMOBRA", "HRINITUMOBRA", "IDTIPOPAGAFORN", "IDCONTAGERADA", "VRPAGOFORNORC", "QTHREVENTO",
          "QTHORAS",     "VRCOBRMOBRA",  "QTPRODMOBRA"}) {
      rt::TField& f = ds.FieldByName(name);
      out += std::string(out.empty() ? "" : " ") + name + "=" + (f.IsNull() ? "null" : f.AsString());
    }
    return out;
  };
  ds.First();
  EXPECT_EQ(row(),
            "CDFILIAL=0001 NRORCAEVENTO=0000000012 NRSEQORCAEVE=00 NRTURNO=01 CDPRODUTO=GAR NMPRODUTO=GARÇOM "
            "NRFORNE=1 CDFORNECED=1001 NRINSJURFORN=52998224701 IDTPIJURFORN=F NMFANTFORN=Fantasia 1001 "
            "NMRAZSOCFORN=Razão 1001 NMFORNMOBRA=Razão 1001 HRINITUMOBRA=0800 IDTIPOPAGAFORN=CONTAPAGAR "
            "IDCONTAGERADA=N VRPAGOFORNORC=150,25 QTHREVENTO=5,5 QTHORAS=05:30 VRCOBRMOBRA=null QTPRODMOBRA=null");
  ds.Next();
  EXPECT_EQ(row(),
            "CDFILIAL=0001 NRORCAEVENTO=0000000012 NRSEQORCAEVE=00 NRTURNO=01 CDPRODUTO=GAR NMPRODUTO=GARÇOM "
            "NRFORNE=2 CDFORNECED=null NRINSJURFORN=null IDTPIJURFORN=null NMFANTFORN=null NMRAZSOCFORN=null "
            "NMFORNMOBRA=null HRINITUMOBRA=null IDTIPOPAGAFORN=null IDCONTAGERADA=null VRPAGOFORNORC=null "
            "QTHREVENTO=5,5 QTHORAS=05:30 VRCOBRMOBRA=null QTPRODMOBRA=null");
  ds.Next();  // an allocation whose amount is absent
  EXPECT_EQ(ds.FieldByName("CDFORNECED").AsString(), "1004");
  EXPECT_FALSE(ds.FieldByName("VRPAGOFORNORC").IsNull());
  EXPECT_EQ(ds.FieldByName("VRPAGOFORNORC").AsFloat(), 0.0);
}

TEST_F(LoadTest, EmptyBudgetGivesAnEmptyGridWithoutMessage) {
  OpenBudget("12");
  EXPECT_EQ(Journal(),
            "GetPesqOrca(0001, 0000000012, 1) | GetPesqOrca(0001, 0000000012, 1) | GetSequencial(0000000012, 00) | "
            "Busy(1) | GetAlocaForne(0001, 0000000012, 00) | Busy off");
  EXPECT_EQ(GridRows(), "");
  EXPECT_EQ(Enabled(), "sbtVerificar sbtImprimir mnuVerificar mnuListagem");  // reload from the grid
}

TEST_F(LoadTest, ButtonStatesWithoutAndWithPayables) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 2, "1001", 150.0)};
  OpenBudget("12");
  // Browsing the grid right after the load: reload, search and print are offered too.
  EXPECT_EQ(Enabled(),
            "sbtAlterar sbtPesquisar sbtVerificar sbtImprimir sbtLimpaForn sbtGeraConta mnuAlterar mnuPesquisar "
            "mnuVerificar mnuListagem mnuLimpaForn mnuGeraConta");

  FocusControl(F().edtNrOrcamento());
  Server().payables = {{{"CDFORNECED", "1001"}, {"CDFILIALNF", "0001"}, {"NRLANCTONF", "0000000005"}}};
  FocusControl(F().dbgPadrao());
  EXPECT_EQ(Enabled(),
            "sbtPesquisar sbtVerificar sbtImprimir sbtCancelaConta mnuPesquisar mnuVerificar mnuListagem "
            "mnuCancelaConta");
}

TEST_F(LoadTest, EditingDisablesTheAccountButtonsAndTheFilterPanel) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 2, "1001", 150.0)};
  OpenBudget("12");
  ASSERT_TRUE(rt::Input::Click(F().Control("sbtAlterar")));
  EXPECT_EQ(F().cdsForneMao().State(), rt::dsEdit);
  EXPECT_EQ(F().dbgPadrao().SelectedField()->FieldName(), "NRINSJURFORN");
  EXPECT_EQ(Focused(), "dbgPadrao");
  EXPECT_EQ(Enabled(), "(none)");
  for (const char* name : {"edtNrOrcamento", "btnNrOrcamento", "edtSeq"})
    EXPECT_FALSE(F().Control(name).Enabled()) << name;
  F().cdsForneMao().Cancel();
  EXPECT_EQ(Enabled(),
            "sbtAlterar sbtPesquisar sbtVerificar sbtImprimir sbtLimpaForn sbtGeraConta mnuAlterar mnuPesquisar "
            "mnuVerificar mnuListagem mnuLimpaForn mnuGeraConta");
  for (const char* name : {"edtNrOrcamento", "btnNrOrcamento", "edtSeq"})
    EXPECT_TRUE(F().Control(name).Enabled()) << name;
}

TEST_F(LoadTest, VerifyButtonReloadsFromTheGrid) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 1)};
  OpenBudget("12");
  Journal();
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 1, "1001", 10.0)};
  ASSERT_TRUE(rt::Input::Click(F().Control("sbtVerificar")));
  EXPECT_EQ(Journal(), "Busy(1) | GetAlocaForne(0001, 0000000012, 00) | Busy off");
  EXPECT_EQ(GridRows(), "GARÇOM/01 #1 1001");
}

TEST_F(LoadTest, LeavingTheGridEmptiesItWithoutAServerCall) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 2)};
  OpenBudget("12");
  ASSERT_EQ(GridRows(), "GARÇOM/01 #1 - | GARÇOM/01 #2 -");
  Journal();
  FocusControl(dynamic_cast<rt::TWinControl&>(F().Control("pgcPadrao")));
  EXPECT_EQ(Journal(), "");
  EXPECT_TRUE(F().cdsForneMao().Active());
  EXPECT_EQ(GridRows(), "");
  // Outside the grid nothing is offered: reloading an emptied grid from elsewhere would
  // fill it while the focus is away.
  EXPECT_EQ(Enabled(), "(none)");
}

TEST_F(LoadTest, ServerFailureHidesTheAnimationAndKeepsTheDatasets) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 1, "1001", 10.0)};
  OpenBudget("12");
  const std::string buttons = Enabled();
  Journal();
  Server().fail["GetAlocaForne"] = "Erro ao acessar o banco de dados do servidor de aplicação.";
  EXPECT_FALSE(rt::Input::Click(F().Control("sbtVerificar")));
  EXPECT_EQ(Journal(),
            "Busy(1) | GetAlocaForne(0001, 0000000012, 00) | Busy off | "
            "Error: Erro ao acessar o banco de dados do servidor de aplicação.");
  EXPECT_TRUE(services_.BusyBalanced());
  EXPECT_EQ(GridRows(), "GARÇOM/01 #1 1001");
  EXPECT_EQ(F().cdsOrcaEvento().RecordCount(), 1);
  EXPECT_EQ(Enabled(), buttons);
}

TEST_F(LoadTest, FailureDuringTheBuildRestoresIndexControlsHandlersAndChangeLog) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 3), Aux("01", "MAI", "MAÎTRE", 2)};
  rt::TClientDataSet& ds = F().cdsForneMao();
  auto calc = ds.OnCalcFields;
  int calculated = 0;
  ds.OnCalcFields = [&](rt::TClientDataSet& d) {
    if (d.State() == rt::dsCalcFields && d.FieldByName("NRFORNE").AsInteger() == 3 && ++calculated)
      throw std::runtime_error("falha no cálculo");
    calc(d);
  };
  OpenBudget("12");
  EXPECT_EQ(Journal(),
            "GetPesqOrca(0001, 0000000012, 1) | GetPesqOrca(0001, 0000000012, 1) | GetSequencial(0000000012, 00) | "
            "Busy(1) | GetAlocaForne(0001, 0000000012, 00) | Busy off | Error: falha no cálculo");
  EXPECT_TRUE(services_.BusyBalanced());
  EXPECT_GT(calculated, 0);
  ds.OnCalcFields = calc;
  EXPECT_EQ(GridRows(), "GARÇOM/01 #1 - | GARÇOM/01 #2 -");  // the rows added so far
  EXPECT_EQ(ds.IndexFieldNames(), "NMPRODUTO;NRFORNE");
  EXPECT_FALSE(ds.ControlsDisabled());
  EXPECT_EQ(ds.ChangeCount(), 0);
  EXPECT_TRUE(ds.BeforeInsert && ds.BeforeEdit && ds.BeforePost && ds.AfterPost);
  EXPECT_EQ(Enabled(), "(none)");  // the load failed: the buttons were not set
  EXPECT_EQ(Focused(), "edtNrOrcamento");
}

TEST_F(LoadTest, MalformedAnswerIsAFailureNotACrash) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 1)};
  OpenBudget("12");
  Journal();
  struct TWrongShape : clib::IAppServer {
    clib::ServerAnswer Call(const std::string&, std::vector<clib::Arg>) override {
      return {true, rt::VariantArray{rt::Variant(1), rt::Variant("x")}, "", 0};
    }
  };
  F().netAloc().SetAppServer(std::make_shared<TWrongShape>());
  EXPECT_FALSE(rt::Input::Click(F().Control("sbtVerificar")));
  EXPECT_EQ(Journal(),
            "Busy(1) | Busy off | Error: Resposta inválida do servidor de aplicação em GetAlocaForne: eram esperados "
            "quatro pacotes de dados.");
  EXPECT_EQ(GridRows(), "GARÇOM/01 #1 -");
}

TEST_F(LoadTest, AnswerWithAMissingColumnChangesNothingOnScreen) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 1, "1001", 10.0)};
  OpenBudget("12");
  const std::string rows = GridRows(), buttons = Enabled();
  Journal();
  // The next answer has another client and a payable, and its allocations lack a column.
  struct TMissingColumn : clib::IAppServer {
    std::shared_ptr<clib::IAppServer> inner;
    clib::ServerAnswer Call(const std::string& method, std::vector<clib::Arg> args) override {
      clib::ServerAnswer answer = inner->Call(method, std::move(args));
      rt::VariantArray packets = answer.value.AsArray();
      rt::DataPacket header = packets[0].AsPacket(), allocations = packets[1].AsPacket();
      header.rows[0][static_cast<std::size_t>(header.FieldIndex("NMFANTCLIE"))] = "Outro Cliente";
      const auto gone = static_cast<std::size_t>(allocations.FieldIndex("CDPRODUTO"));
      allocations.fields.erase(allocations.fields.begin() + static_cast<long>(gone));
      for (rt::Row& row : allocations.rows) row.erase(row.begin() + static_cast<long>(gone));
      packets[0] = header;
      packets[1] = allocations;
      answer.value = packets;
      return answer;
    }
  };
  auto wrong = std::make_shared<TMissingColumn>();
  wrong->inner = server_;
  Server().payables = {{{"CDFORNECED", "1001"}, {"CDFILIALNF", "0001"}, {"NRLANCTONF", "0000000005"}}};
  F().netAloc().SetAppServer(wrong);
  EXPECT_FALSE(rt::Input::Click(F().Control("sbtVerificar")));
  const std::string story = Journal();
  EXPECT_NE(story.find("cdsFornMaoAux: Field 'CDPRODUTO' not found in the data packet"), std::string::npos) << story;
  EXPECT_EQ(F().cdsOrcaEvento().FieldByName("NMFANTCLIE").AsString(), "Buffet Aurora");
  EXPECT_TRUE(F().cdsNfRelacOrc().IsEmpty());
  EXPECT_EQ(GridRows(), rows);
  EXPECT_EQ(Enabled(), buttons);
}

// ---- Rows added by hand and the hours column -------------------------------------------

TEST_F(LoadTest, InsertingIsRefusedSilently) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 1)};
  OpenBudget("12");
  Journal();
  EXPECT_THROW(F().cdsForneMao().Append(), rt::EAbort);
  F().dbgPadrao().Key(rt::VK_INSERT);
  F().dbgPadrao().Key(rt::VK_DOWN);
  EXPECT_EQ(F().cdsForneMao().State(), rt::dsBrowse);
  EXPECT_EQ(GridRows(), "GARÇOM/01 #1 -");
  EXPECT_EQ(Journal(), "");
}

TEST_F(LoadTest, HoursColumnFromTheEventDuration) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 1)};
  OpenBudget("12");
  struct Case {
    rt::Variant duration;
    const char* hours;
  } cases[] = {{5.5, "05:30"},   {8.0, "08:00"},  {0.25, "00:15"},  {10.75, "10:45"},
               {1.999, "02:00"}, {0.0, "00:00"},  {-3.0, "00:00"},  {rt::Variant(), "00:00"},
               {10.1, "10:06"},  {2.33, "02:20"}, {123.5, "123:30"}};
  for (const Case& c : cases) {
    Server().qt_hr_evento = c.duration;
    F().sbtVerificarClick(nullptr);
    EXPECT_EQ(F().cdsForneMao().FieldByName("QTHORAS").AsString(), c.hours) << c.duration.Describe();
  }
}

TEST(UnitsOf, QuantityTruncatedTowardZeroAndNothingForNonNumbers) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const std::pair<double, long long> cases[] = {{3, 3}, {2.9, 2},  {1, 1},   {0.99, 0},
                                                {0, 0}, {-2.5, 0}, {nan, 0}, {inf, 0}};
  for (const auto& [quantity, units] : cases) EXPECT_EQ(alloc::UnitsOf(quantity), units) << quantity;
}

}  // namespace
