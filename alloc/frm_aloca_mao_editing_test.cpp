// The allocation screen's main job, driven as a clerk drives it (cells clicked, keys
// typed, ellipsis buttons, pick lists, dialogs answered) against the in-process server
// double: picking or typing a professional, its validation, the checks before a post,
// the save of every posted row, the key filter, the display conversions and the drawing.
#include <gtest/gtest.h>

#include "alloc/conversions.h"
#include "alloc/screen_test_support.h"
#include "platform/runtime/locale_format.h"
#include "platform/runtime/ui/testing/recording_canvas.h"

namespace {

using alloc::testing::Aux;
using alloc::testing::kNr;
using alloc::testing::kPgto;
using alloc::testing::kProf;
using alloc::testing::kTurma;
using alloc::testing::kValor;
using alloc::testing::Values;

using EditingTest = alloc::testing::EditingScreenTest;

// ---- Picking and typing a professional -------------------------------------------------

TEST_F(EditingTest, PickingFromTheListFillsNineFieldsThenPostValidatesAndSaves) {
  ASSERT_TRUE(Grid().SelectCell(2, kProf));
  services_.ChooseRow(1);
  ASSERT_TRUE(Grid().EditButtonClick());
  EXPECT_EQ(Journal(),
            "GetProdForn(GAR, , 0001, 0000000012) | PickList(Profissional; Código|Nome do Profissional|Disponibilidade; 2 rows) -> 1 | "
            "GetVrPgMObra(GAR, 0000000012, 00, 0001)");
  EXPECT_EQ(State(), "edit");
  EXPECT_EQ(Row(), "1002 11144477735 Ana Souza Eventos | FOLHAPAGA 120,5 0830");
  EXPECT_EQ(Field("NMFANTFORN"), "Ana");
  EXPECT_EQ(Field("IDTPIJURFORN"), "F");

  // Leaving the column validates the choice; its defaults are already in the row.
  ASSERT_TRUE(Grid().Key(rt::VK_TAB));
  EXPECT_EQ(Journal(), "GetProdForn(GAR, F11144477735, 0001, 0000000012)");
  EXPECT_EQ(Row(), "1002 11144477735 Ana Souza Eventos | FOLHAPAGA 120,5 0830");

  ASSERT_TRUE(Grid().Key(rt::VK_UP));  // the row is posted and saved
  EXPECT_EQ(Journal(),
            "GetProdForn(GAR, F11144477735, 0001, 0000000012) | GetTurma(0001, 0000000012, 00, 01, GAR) | Busy(6) | "
            "SetForneMao(GAR#2 null->1002 120.5 0830 FOLHAPAGA) | Busy off");
  EXPECT_EQ(Rows().ChangeCount(), 0);
  EXPECT_TRUE(F().stInscricao.empty());
}

// The list and the validation carry the unit (sequence, shift, crew time): the list shows
// who is free then, and a booking at that time under another product is refused by name.
TEST_F(EditingTest, TheListShowsWhoIsFreeAndABookingAtTheSameTimeIsRefusedByName) {
  Server().professionals[0]["DSALOCACAO"] = "";
  Server().professionals[1]["DSALOCACAO"] = "15/01 COPEIRA 19:00";
  Server().professionals.push_back(Professional("1009", "71428793860", "Zé", "José", "CONTAPAGAR"));
  Server().professionals.back()["DSALOCACAO"] = "*";
  ASSERT_TRUE(Grid().SelectCell(2, kProf));
  services_.CancelPick();
  ASSERT_TRUE(Grid().EditButtonClick());
  EXPECT_EQ(Server().unit_sent, "00 01 ");  // sequence, shift, no crew time yet
  const auto& shown = services_.PickLists().back().rows;
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].at(2), "Livre");
  EXPECT_EQ(shown[1].at(2), "Alocado: 15/01 COPEIRA 19:00");
  EXPECT_EQ(shown[2].at(2), "Alocado em outro evento");

  Server().allocated = {{{"CDFORNECED", "1002"},
                         {"CDPRODUTO", "COP"},
                         {"NRORCAEVENTO", "0000000015"},
                         {"NRSEQORCAEVE", "01"},
                         {"NMPRODUTO", "COPEIRA"},
                         {"DSINICIO", "19/12 19:00"}}};
  Journal();
  ASSERT_TRUE(Grid().TypeText("11144477735"));
  EXPECT_FALSE(Grid().Key(rt::VK_TAB));
  EXPECT_EQ(Journal(),
            "GetProdForn(GAR, F11144477735, 0001, 0000000012) | MessageDlg(error, OK): O profissional já está alocado "
            "no mesmo horário: orçamento 15/01, COPEIRA, 19/12 19:00. -> OK");
  EXPECT_EQ(Server().unit_sent, "00 01 ");
  EXPECT_EQ(Column(), "NRINSJURFORN");
}

TEST_F(EditingTest, ClosingTheListWithoutAChoiceLeavesTheRowAsItWas) {
  ASSERT_TRUE(Grid().SelectCell(2, kProf));
  services_.CancelPick();
  ASSERT_TRUE(Grid().EditButtonClick());
  EXPECT_EQ(Journal(),
            "GetProdForn(GAR, , 0001, 0000000012) | PickList(Profissional; Código|Nome do Profissional|Disponibilidade; 2 rows) -> cancelled");
  EXPECT_EQ(State(), "browse");
  EXPECT_EQ(Row(), "null null null | null null null");
}

TEST_F(EditingTest, TypedMaskedRegistrationIsValidatedBareAndShownMasked) {
  ASSERT_TRUE(Grid().SelectCell(2, kProf));
  ASSERT_TRUE(Grid().TypeText("111.444.777-35"));  // a free row takes every key
  ASSERT_TRUE(Grid().Key(rt::VK_TAB));
  EXPECT_EQ(Journal(), "GetProdForn(GAR, F11144477735, 0001, 0000000012) | GetVrPgMObra(GAR, 0000000012, 00, 0001)");
  EXPECT_EQ(Row(), "1002 11144477735 Ana Souza Eventos | null 120,5 0830");  // a typed one sets no payment
  EXPECT_EQ(Rows().FieldByName("NRINSJURFORN").DisplayText(), "111.444.777-35");

  // Posting without a payment type is refused and takes the clerk to the payment column.
  EXPECT_FALSE(Grid().Key(rt::VK_UP));
  EXPECT_EQ(Journal(),
            "GetProdForn(GAR, F11144477735, 0001, 0000000012) | MessageDlg(error, OK): Pagamento deve ser informado. "
            "-> OK");
  EXPECT_EQ(Column(), "IDTIPOPAGAFORN");
  EXPECT_EQ(State(), "edit");

  ASSERT_TRUE(Grid().PickListChoose("EM FOLHA"));
  ASSERT_TRUE(Grid().Key(rt::VK_UP));
  EXPECT_EQ(Journal(),
            "GetProdForn(GAR, F11144477735, 0001, 0000000012) | GetTurma(0001, 0000000012, 00, 01, GAR) | Busy(6) | "
            "SetForneMao(GAR#2 null->1002 120.5 0830 FOLHAPAGA) | Busy off");
  EXPECT_TRUE(services_.BusyBalanced());
}

TEST_F(EditingTest, RefusedRegistrationsKeepTheTypingAndTheFocus) {
  Server().allocated = {{{"CDFORNECED", "1002"}, {"CDPRODUTO", "GAR"}, {"NRORCAEVENTO", "0000000099"}}};
  struct Case {
    const char* typed;
    const char* shown;
  } cases[] = {
      {"999", "Profissional não cadastrado para mão de obra informada."},
      {"11144477735", "O profissional já está alocado para a mão de obra informada."},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Grid().SelectCell(2, kProf));
    ASSERT_TRUE(Grid().TypeText(c.typed));
    EXPECT_FALSE(Grid().Key(rt::VK_TAB)) << c.typed;
    EXPECT_NE(Journal().find(std::string("MessageDlg(error, OK): ") + c.shown), std::string::npos) << c.typed;
    EXPECT_EQ(Column(), "NRINSJURFORN") << c.typed;
    EXPECT_EQ(Grid().EditorText(), c.typed);
    EXPECT_EQ(Focused(), "dbgPadrao");
    EXPECT_TRUE(F().stInscricao.empty());
    ASSERT_TRUE(Grid().Key(rt::VK_ESCAPE));
  }
}

TEST_F(EditingTest, ARowThatNeverHadAProfessionalCannotLeaveTheColumnEmpty) {
  ASSERT_TRUE(Grid().SelectCell(2, kProf));
  ASSERT_TRUE(Grid().TypeText("1\b"));
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_FALSE(Grid().Key(rt::VK_TAB));
    EXPECT_EQ(Journal(), "MessageDlg(error, OK): Profissional deve ser informado. -> OK");
    EXPECT_EQ(Column(), "NRINSJURFORN");
    EXPECT_EQ(Focused(), "dbgPadrao");
  }
}

TEST_F(EditingTest, ClearingAProfessionalAsksAndRemovesOrKeeps) {
  const char* question =
      "MessageDlg(confirmation, Yes|No): Profissional, Pagamento, Valor Pago e a Hora Turma serão apagados. Confirma "
      "Operação?";
  // No: nothing cleared, the column stays with the cleared text in the editor.
  ASSERT_TRUE(Grid().SelectCell(1, kProf));
  ASSERT_TRUE(Grid().TypeText("\b"));
  services_.Answer(rt::mrNo);
  EXPECT_FALSE(Grid().Key(rt::VK_TAB));
  EXPECT_EQ(Journal(), std::string(question) + " -> No");
  EXPECT_EQ(Column(), "NRINSJURFORN");
  EXPECT_EQ(Grid().EditorText(), "");
  EXPECT_EQ(Row(), "1001  Razão 1001 | CONTAPAGAR 150 0800");  // only the typing reached the row

  // Yes: the removal marker and eight empty fields, no server call; asked again at the post.
  services_.Answer(rt::mrYes);
  ASSERT_TRUE(Grid().Key(rt::VK_TAB));
  EXPECT_EQ(Journal(), std::string(question) + " -> Yes");
  EXPECT_EQ(Row(), "* null null | null null null");
  for (const char* name : {"IDTPIJURFORN", "NMFANTFORN", "NMRAZSOCFORN"})
    EXPECT_TRUE(Rows().FieldByName(name).IsNull());
  services_.Answer(rt::mrYes);
  ASSERT_TRUE(Grid().Key(rt::VK_DOWN));
  EXPECT_EQ(Journal(),
            std::string(question) + " -> Yes | Busy(6) | SetForneMao(GAR#1 1001->* null null null) | Busy off");
}

TEST_F(EditingTest, UnchangedRegistrationWithAnEmptyAnswerKeepsTheRowsProfessional) {
  Server().professionals.clear();  // the server no longer lists the professional
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("1"));
  ASSERT_TRUE(Grid().SelectCell(1, kProf));
  ASSERT_TRUE(Grid().Key(rt::VK_TAB));
  EXPECT_EQ(Row(), "1001 52998224701 Razão 1001 | CONTAPAGAR 1 0800");
}

TEST_F(EditingTest, OutsideEditingMovingBetweenColumnsCallsNoServer) {
  ASSERT_TRUE(Grid().SelectCell(1, kProf));
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(Grid().Key(rt::VK_TAB));
  EXPECT_EQ(Journal(), "");
}

TEST_F(EditingTest, CrewTimeListAndTheCheckBeforeThePost) {
  ASSERT_TRUE(Grid().SelectCell(1, kTurma));
  services_.ChooseRow(0);
  ASSERT_TRUE(Grid().EditButtonClick());
  EXPECT_EQ(Journal(), "GetTurma(0001, 0000000012, 00, 01, GAR) | PickList(Turma; Hr. Turma; 2 rows) -> 0");
  EXPECT_EQ(services_.PickLists().back().rows.at(1).at(0), "08:30");  // masked in the list too
  EXPECT_EQ(Field("HRINITUMOBRA"), "0800");
  ASSERT_TRUE(Grid().Key(rt::VK_ESCAPE));
  ASSERT_TRUE(Grid().SelectCell(1, kNr));

  struct Case {
    const char* typed;  // in the crew-time column, posted with the column still current
    const char* stored;
    const char* story;
  } cases[] = {
      {"08:30", "0830",
       "GetProdForn(GAR, F52998224701, 0001, 0000000012) | GetTurma(0001, 0000000012, 00, 01, GAR) | Busy(6) | "
       "SetForneMao(GAR#1 1001->1001 150 0830 CONTAPAGAR) | Busy off"},
      {"0815", "0815",
       "GetProdForn(GAR, F52998224701, 0001, 0000000012) | GetTurma(0001, 0000000012, 00, 01, GAR) | "
       "MessageDlg(error, OK): Hora da turma não cadastrada. -> OK"},
      {"\b", "",
       "GetProdForn(GAR, F52998224701, 0001, 0000000012) | Busy(6) | "
       "SetForneMao(GAR#1 1001->1001 150  CONTAPAGAR) | Busy off"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Grid().SelectCell(1, kTurma));
    ASSERT_TRUE(Grid().TypeText(c.typed));
    Grid().Key(rt::VK_DOWN);  // the post, the crew-time column still current
    EXPECT_EQ(Journal(), c.story) << c.typed;
    if (State() != "edit") {
      ASSERT_TRUE(Grid().SelectCell(1, kNr));  // back to the saved row
    }
    EXPECT_EQ(Field("HRINITUMOBRA"), c.stored) << c.typed;
    if (State() == "edit") Grid().Key(rt::VK_ESCAPE);
    ASSERT_TRUE(Grid().SelectCell(1, kNr));
  }
}

TEST_F(EditingTest, AFailedSaveStaysInTheLogAndGoesWithTheNextSave) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 1, "1001", 150.0), Aux("01", "MAI", "MAÎTRE", 1, "1003", 80.0)};
  ASSERT_TRUE(F().Control("sbtVerificar").Enabled());
  ASSERT_TRUE(rt::Input::Click(F().Control("sbtVerificar")));
  Journal();
  Server().fail["SetForneMao"] = "Servidor indisponível.";
  Server().fail_code = 0;  // not reached: nothing to decide, the change waits
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("160"));
  EXPECT_FALSE(Grid().Key(rt::VK_DOWN));
  EXPECT_EQ(Journal(),
            "GetProdForn(GAR, F52998224701, 0001, 0000000012) | GetTurma(0001, 0000000012, 00, 01, GAR) | Busy(6) | "
            "SetForneMao(GAR#1 1001->1001 160 0800 CONTAPAGAR) | Busy off | Error: Servidor indisponível.");
  EXPECT_EQ(Rows().ChangeCount(), 1);
  EXPECT_EQ(Field("VRPAGOFORNORC"), "160");  // the grid keeps the row

  Server().fail.clear();
  ASSERT_TRUE(Grid().SelectCell(2, kValor));
  ASSERT_TRUE(Grid().TypeText("90"));
  ASSERT_TRUE(Grid().Key(rt::VK_UP));
  EXPECT_NE(Journal().find("SetForneMao(GAR#1 1001->1001 160 0800 CONTAPAGAR; MAI#1 1003->1003 90 0800 CONTAPAGAR)"),
            std::string::npos);
  EXPECT_EQ(Rows().ChangeCount(), 0);
  EXPECT_TRUE(services_.BusyBalanced());
}

TEST_F(EditingTest, PayablesFreezeTheRows) {
  Server().payables = {{{"CDFORNECED", "1001"}, {"CDFILIALNF", "0001"}, {"NRLANCTONF", "0000000005"}}};
  ASSERT_TRUE(rt::Input::Click(F().Control("sbtVerificar")));
  Journal();
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  EXPECT_EQ(Grid().Columns()[kProf].ButtonStyle(), rt::cbsNone);  // no professional list either
  EXPECT_FALSE(Grid().TypeText("1"));
  EXPECT_EQ(Journal(),
            "MessageDlg(error, OK): Já existe conta a pagar de profissionais para o orçamento. Operação Bloqueada. -> "
            "OK");
  EXPECT_EQ(State(), "browse");
  EXPECT_EQ(Field("VRPAGOFORNORC"), "150");
}

// ---- Leaving the grid ------------------------------------------------------------------

TEST_F(EditingTest, LeavingTheGridPostsAndSavesThePendingRowOrStays) {
  // A refused check keeps the clerk in the grid with the typing.
  ASSERT_TRUE(Grid().SelectCell(2, kProf));
  ASSERT_TRUE(Grid().TypeText("999"));
  rt::TWinControl& outside = dynamic_cast<rt::TWinControl&>(F().Control("pgcPadrao"));
  EXPECT_FALSE(rt::Input::FocusControl(outside));
  EXPECT_NE(Journal().find("Profissional não cadastrado para mão de obra informada."), std::string::npos);
  EXPECT_EQ(Focused(), "dbgPadrao");
  EXPECT_EQ(State(), "edit");

  // A valid row is saved on the way out, then the grid empties.
  ASSERT_TRUE(Grid().Key(rt::VK_ESCAPE));
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("200"));
  ASSERT_TRUE(rt::Input::FocusControl(outside));
  EXPECT_NE(Journal().find("SetForneMao(GAR#1 1001->1001 200 0800 CONTAPAGAR)"), std::string::npos);
  EXPECT_EQ(Focused(), "pgcPadrao");
  EXPECT_EQ(GridRows(), "");
}

TEST_F(EditingTest, LeavingTheGridSendsAChangeWhoseSaveFailedOrStays) {
  Server().fail["SetForneMao"] = "Servidor indisponível.";
  Server().fail_code = 0;
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("200"));
  EXPECT_FALSE(Grid().Key(rt::VK_DOWN));
  ASSERT_EQ(Rows().ChangeCount(), 1);
  Journal();
  EXPECT_FALSE(rt::Input::FocusControl(F().edtNrOrcamento()));  // still failing: the change is kept
  EXPECT_EQ(Journal(),
            "Busy(6) | SetForneMao(GAR#1 1001->1001 200 0800 CONTAPAGAR) | Busy off | Error: Servidor indisponível.");
  EXPECT_EQ(Focused(), "dbgPadrao");
  EXPECT_EQ(Rows().ChangeCount(), 1);
  Server().fail.clear();
  ASSERT_TRUE(rt::Input::FocusControl(F().edtNrOrcamento()));
  EXPECT_EQ(Journal(), "Busy(6) | SetForneMao(GAR#1 1001->1001 200 0800 CONTAPAGAR) | Busy off");
}

// ---- Buttons follow the focus ----------------------------------------------------------

TEST_F(EditingTest, ButtonsAreOfferedWhileBrowsingTheGridAndNotWhileEditing) {
  const std::string browsing =
      "sbtAlterar sbtPesquisar sbtVerificar sbtImprimir sbtLimpaForn sbtGeraConta mnuAlterar mnuPesquisar "
      "mnuVerificar mnuListagem mnuLimpaForn mnuGeraConta";
  EXPECT_EQ(Enabled(), browsing);
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("1"));
  EXPECT_EQ(Enabled(), "(none)");
  ASSERT_TRUE(Grid().Key(rt::VK_ESCAPE));
  EXPECT_EQ(Enabled(), browsing);
  Journal();
  EXPECT_TRUE(rt::Input::ShortCut(F(), "F2"));  // reload from the keyboard while browsing
  EXPECT_EQ(Journal(), "Busy(1) | GetAlocaForne(0001, 0000000012, 00) | Busy off");
}

// ---- Key filter per column -------------------------------------------------------------

TEST_F(EditingTest, KeyFilterPerColumn) {
  struct Case {
    int row;
    alloc::testing::GridCol col;
    std::string typed;
    const char* editor;  // what the cell editor holds afterwards ("-": no editor)
  } cases[] = {
      {1, kProf, "a-%7", "7"},       // a row with a professional: digits only
      {2, kProf, "a.1", "a.1"},      // a free row: every key
      {1, kPgto, "EM", "-"},         // the payment type only from the list
      {1, kValor, ",", ","},         // the cell's text is replaced: it was not empty
      {1, kValor, "12,5,", "12,5"},  // a second comma
      {2, kValor, ",", "-"},         // an empty cell cannot begin with a comma
      {1, kValor,
       "99999999"
       "9",
       "999999999"},
      {1, kValor,
       "100000000"
       "0",
       "100000000"},
      {1, kValor, "999999999,0", "999999999,0"},
      {1, kValor, "999999999,5", "999999999,"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Grid().SelectCell(c.row, c.col));
    Grid().TypeText(c.typed);
    EXPECT_EQ(Grid().EditorMode() ? Grid().EditorText() : "-", c.editor) << c.typed;
    Grid().Key(rt::VK_ESCAPE);
  }
  EXPECT_EQ(Journal(), "");
}

TEST_F(EditingTest, AnAmountThatIsNotANumberReachesTheUserAndTheKeyIsNotTaken) {
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("5-"));
  EXPECT_FALSE(Grid().TypeText("1"));
  EXPECT_NE(Journal().find("Error: '5-1' is not a valid floating point value"), std::string::npos);
  EXPECT_EQ(Grid().EditorText(), "5-");
}

// ---- Display -----------------------------------------------------------------------------

TEST_F(EditingTest, GridTextsAreTheDisplayForms) {
  Rows().First();
  EXPECT_EQ(Rows().FieldByName("IDTIPOPAGAFORN").DisplayText(), "GERAR CONTA");
  EXPECT_EQ(Rows().FieldByName("HRINITUMOBRA").DisplayText(), "08:00");
  EXPECT_EQ(Rows().FieldByName("NRINSJURFORN").DisplayText(), "529.982.247-01");

  struct Case {
    const char* code;
    const char* shown;
  } codes[] = {{"FOLHAPAGA", "EM FOLHA"}, {"CONTAPAGAR", "GERAR CONTA"}, {"", ""}, {"folhapaga", "GERAR CONTA"}};
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("1"));
  rt::TField& pgto = Rows().FieldByName("IDTIPOPAGAFORN");
  for (const Case& c : codes) {
    pgto.SetAsString(c.code);
    EXPECT_EQ(pgto.DisplayText(), c.shown) << c.code;
  }
  struct Back {
    const char* text;
    const char* stored;
  } texts[] = {
      {"EM FOLHA", "FOLHAPAGA"}, {"GERAR CONTA", "CONTAPAGAR"}, {"em folha", "CONTAPAGAR"}, {"", "CONTAPAGAR"}};
  for (const Back& t : texts) {
    pgto.SetText(t.text);
    EXPECT_EQ(pgto.AsString(), t.stored) << t.text;
  }
}

TEST(Conversions, CrewTimesRegistrationsAndHours) {
  const std::pair<const char*, const char*> hours[] = {{"", ""},          {"   ", ""},       {"0830", "0830"},
                                                       {"08:30", "0830"}, {"8", "0800"},     {"083", "0800"},
                                                       {"2575", "2575"},  {"08:30h", "0800"}};
  for (auto [typed, result] : hours) EXPECT_EQ(alloc::Ajusta_Hora(typed), result) << typed;
  const std::pair<const char*, const char*> regs[] = {{"12/345", "12/345"}, {"1.2-3", "123"}, {"", ""}};
  for (auto [typed, result] : regs) EXPECT_EQ(alloc::LimpaMascara(typed), result) << typed;
  const std::pair<const char*, const char*> masks[] = {{"0830", "08:30"}, {"83", "83:  "}, {"", "  :  "}};
  for (auto [stored, shown] : masks) EXPECT_EQ(alloc::MascaraHora(stored), shown) << stored;
}

// ---- Drawing -----------------------------------------------------------------------------

TEST_F(EditingTest, CellsAreDrawnWithTheirColoursAlignmentsAndFormats) {
  Server().allocations = {Aux("01", "GAR", "GARÇOM", 2, "1001", 1234.5)};
  Server().allocations[0]["IDCONTAGERADA"] = "S";
  ASSERT_TRUE(rt::Input::Click(F().Control("sbtVerificar")));
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  rt::testing::TRecordingCanvas canvas;
  Grid().Paint(canvas);
  const std::string log = canvas.Log();
  auto has = [&](const std::string& line) { return log.find(line) != std::string::npos; };
  const rt::TRect nr = Grid().CellRect(0, kNr), valor = Grid().CellRect(0, kValor), prof = Grid().CellRect(0, kProf);
  const rt::TRect free_valor = Grid().CellRect(1, kValor);
  auto at = [](const rt::TRect& r) {
    return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
           std::to_string(r.Bottom);
  };
  // The generated row in green, right-aligned number 2 px from the right edge.
  EXPECT_TRUE(
      has("TextOut(" + std::to_string(nr.Right - 7 - 2) + "," + std::to_string(nr.Top + 2) + ",\"1\") font=clGreen"))
      << log;
  // The masked registration 2 px from the left.
  EXPECT_TRUE(has("TextOut(" + std::to_string(prof.Left + 2) + "," + std::to_string(prof.Top + 2) +
                  ",\"529.982.247-01\") font=clGreen"))
      << log;
  // The selected amount cell: highlight colours, then the formatted amount 3 px from the right.
  EXPECT_TRUE(has("FillRect(" + at(valor) + ") brush=clHighlight")) << log;
  EXPECT_TRUE(has("DrawFocusRect(" + at(valor) + ")")) << log;
  EXPECT_TRUE(has("TextRect(" + at(valor) + "; " + std::to_string(valor.Right - 7 * 8 - 3) + "," +
                  std::to_string(valor.Top + 3) + ",\"1.234,50\") brush=clHighlight font=clCaptionText"))
      << log;
  // A free row's null amount shows no amount at all; its cell still gets the info colour.
  EXPECT_TRUE(has("FillRect(" + at(free_valor) + ") brush=clInfoBk")) << log;
  EXPECT_FALSE(has("TextRect(" + at(free_valor) + "; " + std::to_string(free_valor.Right - 3))) << log;
}

}  // namespace
