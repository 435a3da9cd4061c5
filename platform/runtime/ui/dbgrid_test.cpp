// The data-aware grid driven as a user would: clicks, keys, typing, pick lists and the
// ellipsis button, with the dataset's events and the grid's column events recorded in
// one log so that the order of things is visible in each assertion.
#include "platform/runtime/ui/dbgrid.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "platform/runtime/abort.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/testing/recording_canvas.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace rt {
namespace {

FieldDef Def(const std::string& name, FieldType type, int size, const std::string& label) {
  FieldDef def;
  def.name = name;
  def.type = type;
  def.size = size;
  def.display_label = label;
  return def;
}

// A small allocation-like table: the fields are stored in another order than the
// grid's columns show them.
class DBGridTest : public ::testing::Test {
 protected:
  DBGridTest() {
    dataset_.SetFieldDefs({Def("VALOR", FieldType::Float, 0, "Vr. Pago"), Def("NR", FieldType::Float, 0, "Nr."),
                           Def("NOME", FieldType::String, 20, "Nome"),
                           Def("PROF", FieldType::String, 20, "Profissional"),
                           Def("PAGTO", FieldType::String, 10, "Pagamento")});
    dataset_.CreateDataSet();
    AddRow(1, "Ana", "111", "FOLHAPAGA", 10.5);
    AddRow(2, "Bia", "", "", 0);
    AddRow(3, "Caio", "333", "CONTAPAGAR", 7);
    dataset_.MergeChangeLog();
    dataset_.First();

    // The payment code is shown and typed as its display text.
    TField& pagto = dataset_.FieldByName("PAGTO");
    pagto.OnGetText = [this](TField& f, std::string& text, bool display) {
      if (!display) Log("gettext(edit)");
      std::string code = f.AsString();
      text = code.empty() ? "" : code == "FOLHAPAGA" ? "EM FOLHA" : "GERAR CONTA";
    };
    pagto.OnSetText = [this](TField& f, const std::string& text) {
      Log("settext:" + text);
      if (text == "EM FOLHA") f.SetAsString("FOLHAPAGA");
      if (text == "GERAR CONTA") f.SetAsString("CONTAPAGAR");
    };
    dataset_.FieldByName("PROF").OnSetText = [this](TField& f, const std::string& text) {
      Log("settext:" + text);
      f.SetAsString(text);
    };

    source_.SetDataSet(&dataset_);
    form_ = new TForm(nullptr);
    other_ = new TEdit(form_);
    other_->SetParent(form_);
    other_->SetTabOrder(0);
    grid_ = new TDBGrid(form_);
    grid_->SetParent(form_);
    grid_->SetTabOrder(1);
    grid_->SetDataSource(&source_);
    grid_->Columns().Add("NR").SetReadOnly(true);
    grid_->Columns().Add("PROF").SetButtonStyle(cbsEllipsis);
    grid_->Columns().Add("NOME");
    grid_->Columns().Add("PAGTO").SetPickList({"EM FOLHA", "GERAR CONTA"});
    grid_->Columns().Add("VALOR");

    grid_->OnColExit = [this](TObject*) {
      TField* field = grid_->SelectedField();
      Log("colexit:" + Selected() + "=" + (field ? field->AsString() : ""));
    };
    grid_->OnColEnter = [this](TObject*) { Log("colenter:" + Selected()); };
    grid_->OnEnter = [this](TObject*) { Log("enter:grid"); };
    other_->OnExit = [this](TObject*) { Log("exit:other"); };
    dataset_.BeforePost = [this](TClientDataSet& ds) { Log("beforepost:" + ds.FieldByName("PROF").AsString()); };
    dataset_.AfterPost = [this](TClientDataSet&) { Log("afterpost"); };
  }
  ~DBGridTest() override { delete form_; }

  void AddRow(double nr, const std::string& nome, const std::string& prof, const std::string& pagto, double valor) {
    dataset_.Append();
    dataset_.FieldByName("NR").SetAsFloat(nr);
    dataset_.FieldByName("NOME").SetAsString(nome);
    if (!prof.empty()) dataset_.FieldByName("PROF").SetAsString(prof);
    if (!pagto.empty()) dataset_.FieldByName("PAGTO").SetAsString(pagto);
    dataset_.FieldByName("VALOR").SetAsFloat(valor);
    dataset_.Post();
  }

  void Log(const std::string& event) { log_ += (log_.empty() ? "" : " ") + event; }
  std::string Selected() const {
    TField* field = grid_->SelectedField();
    return field ? field->FieldName() : "-";
  }
  // "row=1 col=PROF edit [222*]": current record, selected column, dataset state, and
  // the editor ("*" when it holds typing not yet written); "-" when it is closed.
  std::string State() const {
    std::string editor =
        grid_->EditorMode() ? "[" + grid_->EditorText() + (grid_->EditorModified() ? "*" : "") + "]" : "-";
    return "row=" + std::to_string(dataset_.RecNo()) + " col=" + Selected() + " " + DataSetStateName(dataset_.State()) +
           " " + editor;
  }
  std::string Value(int recno, const std::string& field) {
    TReadRecordScope reading(dataset_, recno);
    return dataset_.FieldByName(field).AsString();
  }
  void ShowForm() {
    form_->Show();
    log_.clear();
  }

  testing::TScriptedServices services_;
  TClientDataSet dataset_{"cdsTeste"};
  TDataSource source_{"dtsTeste"};
  TForm* form_ = nullptr;
  TEdit* other_ = nullptr;
  TDBGrid* grid_ = nullptr;
  std::string log_;
};

// --- Columns ---------------------------------------------------------------------

TEST_F(DBGridTest, ColumnsKeepTheirOwnOrderAndTakeTitlesAndWidthsFromTheFields) {
  std::string shown;
  for (int i = 0; i < grid_->Columns().Count(); ++i) {
    TColumn& column = grid_->Columns()[i];
    shown += column.Field()->FieldName() + ":" + column.Title().Caption() + ":" + std::to_string(column.Width()) + " ";
  }
  // Widths: 6 px per display character plus 4 (floats display 10 wide, strings their size).
  EXPECT_EQ(shown, "NR:Nr.:64 PROF:Profissional:124 NOME:Nome:124 PAGTO:Pagamento:64 VALOR:Vr. Pago:64 ");

  TColumn& valor = grid_->Columns()[4];
  valor.SetWidth(99);
  valor.Title().SetCaption("Valor");
  EXPECT_EQ(valor.Width(), 99);
  EXPECT_EQ(valor.Title().Caption(), "Valor");
  EXPECT_EQ(grid_->Columns().IndexOfField("nome"), 2);
  EXPECT_EQ(grid_->Columns().IndexOfField("XYZ"), -1);
}

TEST_F(DBGridTest, WithoutColumnsTheGridShowsTheVisibleFields) {
  dataset_.Close();
  auto defs = dataset_.FieldDefs();
  defs[0].visible = false;  // VALOR
  dataset_.SetFieldDefs(defs);
  dataset_.CreateDataSet();
  TDBGrid plain(nullptr);
  plain.SetDataSource(&source_);
  std::string names;
  for (int i = 0; i < plain.Columns().Count(); ++i) names += plain.Columns()[i].FieldName() + " ";
  EXPECT_EQ(names, "NR NOME PROF PAGTO ");
  EXPECT_FALSE(plain.Columns().Custom());
}

// --- Editor and typing -------------------------------------------------------------

TEST_F(DBGridTest, TheEditorShowsTheEditTextOfTheField) {
  grid_->SetSelectedIndex(3);  // PAGTO
  log_.clear();
  EXPECT_TRUE(grid_->OpenEditor());
  EXPECT_EQ(State(), "row=1 col=PAGTO browse [EM FOLHA]");
  EXPECT_EQ(log_, "gettext(edit)");
}

TEST_F(DBGridTest, TypingPutsTheRowInEditAndReplacesTheCellText) {
  grid_->SetSelectedIndex(1);  // PROF, "111"
  EXPECT_TRUE(grid_->TypeText("22"));
  EXPECT_EQ(State(), "row=1 col=PROF edit [22*]");
  EXPECT_EQ(dataset_.FieldByName("PROF").AsString(), "111");  // written only when the column is left
  EXPECT_TRUE(grid_->TypeChar(8));
  EXPECT_TRUE(grid_->TypeText("7"));
  EXPECT_EQ(grid_->EditorText(), "27");
}

TEST_F(DBGridTest, TheEditorIsWrittenIntoTheFieldBeforeTheColumnExitRuns) {
  grid_->SetSelectedIndex(1);
  log_.clear();
  grid_->TypeText("222");
  EXPECT_TRUE(grid_->Key(VK_TAB));
  EXPECT_EQ(log_, "settext:222 colexit:PROF=222 colenter:NOME");
  EXPECT_EQ(State(), "row=1 col=NOME edit -");
}

TEST_F(DBGridTest, AColumnExitThatAbortsKeepsTheColumnTheEditorAndTheEdit) {
  grid_->SetSelectedIndex(1);
  grid_->OnColExit = [this](TObject*) {
    Log("colexit");
    Abort();
  };
  grid_->TypeText("222");
  struct Move {
    const char* name;
    std::function<bool()> act;
    const char* log;
  };
  // The first attempt writes the typed text; it stays in the field for the next ones.
  std::vector<Move> moves = {
      {"tab", [&] { return grid_->Key(VK_TAB); }, "settext:222 colexit"},
      {"right", [&] { return grid_->Key(VK_RIGHT); }, "colexit"},
      {"click", [&] { return grid_->SelectCell(1, 3); }, "colexit"},
      {"code", [&] { return Application().Guard([&] { grid_->SetSelectedIndex(4); }); }, "colexit"}};
  for (const auto& move : moves) {
    SCOPED_TRACE(move.name);
    log_.clear();
    EXPECT_FALSE(move.act());
    EXPECT_EQ(log_, move.log);
    EXPECT_EQ(State(), "row=1 col=PROF edit [222]");
  }
  EXPECT_EQ(services_.Log(), "");  // the abort is silent
}

TEST_F(DBGridTest, AColumnExitThatMovesTheGridItselfWins) {
  grid_->SetSelectedIndex(1);
  grid_->OnColExit = [this](TObject*) {
    Log("colexit:" + Selected());
    grid_->SetSelectedIndex(4);  // e.g. a validation that focuses another field
  };
  log_.clear();
  grid_->Key(VK_TAB);
  EXPECT_EQ(log_, "colexit:PROF colenter:VALOR");
  EXPECT_EQ(Selected(), "VALOR");
}

TEST_F(DBGridTest, ReadOnlyCellsRefuseTyping) {
  struct Case {
    const char* name;
    std::function<void()> setup;
    int col;
  };
  std::vector<Case> cases = {
      {"read-only column", [] {}, 0},
      {"read-only field", [&] { dataset_.FieldByName("NOME").SetReadOnly(true); }, 2},
      {"read-only grid",
       [&] {
         dataset_.FieldByName("NOME").SetReadOnly(false);
         grid_->SetReadOnly(true);
       },
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.setup();
    grid_->SetSelectedIndex(c.col);
    grid_->TypeText("9");
    grid_->Key(VK_F2);
    EXPECT_EQ(dataset_.State(), dsBrowse);
    EXPECT_FALSE(grid_->EditorMode());
    EXPECT_EQ(Value(1, "NR"), "1");
    EXPECT_EQ(Value(1, "NOME"), "Ana");
  }
}

TEST_F(DBGridTest, OnKeyPressSeesEveryKeyBeforeTheEditorAndMayDropIt) {
  grid_->SetSelectedIndex(1);
  std::string seen;
  grid_->OnKeyPress = [&](TObject* sender, char& key) {
    EXPECT_EQ(sender, grid_);
    seen += key;
    if (key < '0' || key > '9') key = 0;
  };
  grid_->TypeText("ab");
  EXPECT_EQ(State(), "row=1 col=PROF browse -");  // dropped keys start no edit
  grid_->TypeText("1-2");
  EXPECT_EQ(seen, "ab1-2");
  EXPECT_EQ(State(), "row=1 col=PROF edit [12*]");
}

TEST_F(DBGridTest, AKeyChangedByOnKeyPressIsTheOneTyped) {
  grid_->SetSelectedIndex(2);
  grid_->OnKeyPress = [](TObject*, char& key) {
    if (key >= 'a' && key <= 'z') key = static_cast<char>(key - 'a' + 'A');
  };
  grid_->TypeText("zé");  // a two-byte character is inserted whole
  EXPECT_EQ(grid_->EditorText(), "Zé");
}

TEST_F(DBGridTest, ReturnOpensAClosedEditorWithItsTextSelected) {
  grid_->SetSelectedIndex(2);
  EXPECT_TRUE(grid_->Key(VK_RETURN));
  EXPECT_EQ(State(), "row=1 col=NOME browse [Ana]");
  grid_->TypeText("B");
  EXPECT_EQ(State(), "row=1 col=NOME edit [B*]");
}

TEST_F(DBGridTest, WithoutOpenDataEveryInputIsHarmless) {
  for (bool bound : {true, false}) {
    SCOPED_TRACE(bound ? "closed dataset" : "no data source");
    dataset_.Close();
    if (!bound) grid_->SetDataSource(nullptr);
    grid_->TypeText("x\b\r");
    for (int vk : {VK_TAB, VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_INSERT, VK_ESCAPE,
                   VK_RETURN, VK_F2})
      grid_->Key(vk);
    EXPECT_FALSE(grid_->SelectCell(1, 1));
    EXPECT_FALSE(grid_->OpenEditor());
    EXPECT_FALSE(grid_->PickListChoose(0));
    EXPECT_EQ(grid_->EditorText(), "");
    EXPECT_EQ(grid_->TopRow(), 0);
    testing::TRecordingCanvas canvas;
    grid_->Paint(canvas);
    EXPECT_EQ(canvas.Lines().size(), 5u);  // the titles only
    EXPECT_EQ(services_.Log(), "");
  }
}

TEST_F(DBGridTest, AnEditRefusedByBeforeEditTakesNoKey) {
  dataset_.BeforeEdit = [](TClientDataSet&) { Abort(); };
  grid_->SetSelectedIndex(2);
  EXPECT_FALSE(grid_->TypeChar('X'));
  EXPECT_EQ(State(), "row=1 col=NOME browse -");
  grid_->SetSelectedIndex(3);
  EXPECT_FALSE(grid_->PickListChoose(0));
  EXPECT_EQ(State(), "row=1 col=PAGTO browse -");
  EXPECT_EQ(Value(1, "NOME"), "Ana");
  EXPECT_EQ(Value(1, "PAGTO"), "FOLHAPAGA");
}

TEST_F(DBGridTest, EscapeCancelsTheEditAndRestoresTheText) {
  grid_->SetSelectedIndex(2);
  grid_->TypeText("Zé");
  EXPECT_EQ(grid_->EditorText(), "Zé");
  EXPECT_TRUE(grid_->Key(VK_ESCAPE));
  EXPECT_EQ(State(), "row=1 col=NOME browse -");
  EXPECT_EQ(grid_->EditorText(), "Ana");
  EXPECT_EQ(dataset_.ChangeCount(), 0);
}

TEST_F(DBGridTest, ReturnWritesTheEditorWithoutPosting) {
  grid_->SetSelectedIndex(2);
  grid_->TypeText("Zé");
  grid_->Key(VK_RETURN);
  EXPECT_EQ(State(), "row=1 col=NOME edit -");
  EXPECT_EQ(dataset_.FieldByName("NOME").AsString(), "Zé");
}

TEST_F(DBGridTest, APostByCodePullsThePendingEditorText) {
  grid_->SetSelectedIndex(1);
  grid_->TypeText("999");
  log_.clear();
  dataset_.Post();
  EXPECT_EQ(log_, "settext:999 beforepost:999 afterpost");
  EXPECT_EQ(Value(1, "PROF"), "999");
  EXPECT_FALSE(grid_->EditorModified());
}

// --- Rows --------------------------------------------------------------------------

TEST_F(DBGridTest, MovingToAnotherRowPostsTheRowBeingEdited) {
  grid_->SetSelectedIndex(1);
  grid_->TypeText("222");
  log_.clear();
  EXPECT_TRUE(grid_->Key(VK_DOWN));
  EXPECT_EQ(log_, "settext:222 beforepost:222 afterpost");  // no column exit: the column stays
  EXPECT_EQ(State(), "row=2 col=PROF browse -");
  EXPECT_EQ(Value(1, "PROF"), "222");
  EXPECT_EQ(dataset_.ChangeCount(), 1);
}

TEST_F(DBGridTest, APostRefusedByBeforePostCancelsTheRowMove) {
  dataset_.BeforePost = [this](TClientDataSet&) {
    Log("beforepost");
    Abort();
  };
  grid_->SetSelectedIndex(1);
  grid_->TypeText("222");
  grid_->Key(VK_RETURN);
  struct Move {
    const char* name;
    std::function<bool()> act;
  };
  std::vector<Move> moves = {{"down", [&] { return grid_->Key(VK_DOWN); }},
                             {"page down", [&] { return grid_->Key(VK_NEXT); }},
                             {"click", [&] { return grid_->SelectCell(3, 1); }}};
  for (const auto& move : moves) {
    SCOPED_TRACE(move.name);
    log_.clear();
    EXPECT_FALSE(move.act());
    EXPECT_EQ(log_, "beforepost");
    EXPECT_EQ(dataset_.RecNo(), 1);
    EXPECT_EQ(dataset_.State(), dsEdit);
    EXPECT_EQ(dataset_.FieldByName("PROF").AsString(), "222");
  }
  EXPECT_EQ(dataset_.ChangeCount(), 0);
}

TEST_F(DBGridTest, AClickOnAnotherRowAndColumnLeavesTheColumnOnTheRowBeingLeft) {
  grid_->SetSelectedIndex(1);
  grid_->TypeText("222");
  log_.clear();
  EXPECT_TRUE(grid_->SelectCell(3, 2));
  EXPECT_EQ(log_, "settext:222 colexit:PROF=222 colenter:NOME beforepost:222 afterpost");
  EXPECT_EQ(State(), "row=3 col=NOME browse -");
}

TEST_F(DBGridTest, TabPastTheLastColumnMovesToTheFirstColumnOfTheNextRow) {
  grid_->SetSelectedIndex(4);
  grid_->TypeText("5");
  log_.clear();
  EXPECT_TRUE(grid_->Key(VK_TAB));
  EXPECT_EQ(log_, "colexit:VALOR=5 beforepost:111 afterpost colenter:NR");
  EXPECT_EQ(State(), "row=2 col=NR browse -");
  EXPECT_TRUE(grid_->Key(VK_TAB, /*shift=*/true));
  EXPECT_EQ(State(), "row=1 col=VALOR browse -");
}

TEST_F(DBGridTest, InsertKeyAndDownPastTheLastRowAskTheDatasetForANewRow) {
  struct Case {
    const char* name;
    int start_row;
    int vk;
  };
  std::vector<Case> cases = {{"insert key", 2, VK_INSERT}, {"down past last", 3, VK_DOWN}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Refused silently, as the allocation screen does: nothing changes.
    dataset_.BeforeInsert = [this](TClientDataSet&) {
      Log("beforeinsert");
      Abort();
    };
    dataset_.SetRecNo(c.start_row);
    log_.clear();
    grid_->Key(c.vk);
    EXPECT_EQ(log_, "beforeinsert");
    EXPECT_EQ(dataset_.RecordCount(), 3);
    EXPECT_EQ(dataset_.RecNo(), c.start_row);
    EXPECT_EQ(dataset_.State(), dsBrowse);
    EXPECT_EQ(services_.Log(), "");

    // Allowed: a new row in insert state; Up leaves it untouched, so it is dropped.
    dataset_.BeforeInsert = nullptr;
    EXPECT_TRUE(grid_->Key(c.vk));
    EXPECT_EQ(dataset_.State(), dsInsert);
    EXPECT_TRUE(grid_->Key(VK_UP));
    EXPECT_EQ(dataset_.State(), dsBrowse);
    EXPECT_EQ(dataset_.RecordCount(), 3);
  }
}

// --- Focus -------------------------------------------------------------------------

TEST_F(DBGridTest, AFieldsFocusControlSelectsItsColumnFocusesTheGridAndOpensTheEditor) {
  ShowForm();
  ASSERT_TRUE(other_->Focused());
  grid_->SetSelectedIndex(3);
  log_.clear();
  dataset_.FieldByName("PROF").FocusControl();
  EXPECT_EQ(log_, "colexit:PAGTO=FOLHAPAGA colenter:PROF exit:other enter:grid");
  EXPECT_TRUE(grid_->Focused());
  EXPECT_EQ(State(), "row=1 col=PROF browse [111]");
  // The editor's text is selected: the next key replaces it.
  grid_->TypeText("4");
  EXPECT_EQ(grid_->EditorText(), "4");
}

TEST_F(DBGridTest, AValidationThatFocusesItsFieldDuringTheColumnExitKeepsTheTypedText) {
  ShowForm();
  grid_->SelectCell(1, 1);
  grid_->OnColExit = [this](TObject*) {
    if (grid_->SelectedField()->AsString().empty()) {
      grid_->SelectedField()->FocusControl();
      Abort();
    }
  };
  grid_->TypeChar(8);  // clears the selected text
  EXPECT_FALSE(grid_->Key(VK_TAB));
  EXPECT_EQ(State(), "row=1 col=PROF edit []");
  EXPECT_TRUE(grid_->Focused());
}

TEST_F(DBGridTest, LeavingTheGridWritesTheTypingFirst) {
  ShowForm();
  grid_->SelectCell(1, 2);
  grid_->TypeText("Zé");
  grid_->OnExit = [this](TObject*) { Log("exit:grid=" + dataset_.FieldByName("NOME").AsString()); };
  log_.clear();
  EXPECT_TRUE(Input::FocusControl(*other_));
  EXPECT_EQ(log_, "exit:grid=Zé");
  EXPECT_EQ(State(), "row=1 col=NOME edit -");

  // A text the field cannot take keeps the focus on the grid.
  grid_->SetFocus();
  grid_->SetSelectedIndex(4);
  grid_->TypeText("abc");
  log_.clear();
  EXPECT_FALSE(Input::FocusControl(*other_));
  EXPECT_TRUE(grid_->Focused());
  EXPECT_EQ(log_, "");
  EXPECT_EQ(services_.Events().size(), 1u);  // the conversion error, shown once
}

// --- Pick list and ellipsis ----------------------------------------------------------

TEST_F(DBGridTest, APickListChoiceIsWrittenThroughTheFieldsSetText) {
  grid_->SetSelectedIndex(3);
  log_.clear();
  EXPECT_TRUE(grid_->PickListChoose("GERAR CONTA"));
  EXPECT_EQ(log_, "gettext(edit) settext:GERAR CONTA gettext(edit)");
  EXPECT_EQ(State(), "row=1 col=PAGTO edit [GERAR CONTA]");
  EXPECT_EQ(dataset_.FieldByName("PAGTO").AsString(), "CONTAPAGAR");

  EXPECT_FALSE(grid_->PickListChoose("OUTRO"));  // not an item
  EXPECT_FALSE(grid_->PickListChoose(2));
  grid_->SetSelectedIndex(2);
  EXPECT_FALSE(grid_->PickListChoose(0));  // the column has no list
}

TEST_F(DBGridTest, TheEllipsisButtonRunsItsHandlerAndTheEditorFollowsWhatItWrites) {
  int clicks = 0;
  grid_->OnEditButtonClick = [&](TObject*) {
    ++clicks;
    dataset_.Edit();
    dataset_.FieldByName("PROF").SetAsString("555");
  };
  grid_->SetSelectedIndex(1);
  EXPECT_TRUE(grid_->EditButtonClick());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(State(), "row=1 col=PROF edit [555]");

  grid_->SetSelectedIndex(2);  // NOME offers no button
  EXPECT_FALSE(grid_->EditButtonClick());
  EXPECT_EQ(clicks, 1);
}

// --- The cell's buttons by keyboard -------------------------------------------------

// Keys as the user presses them on the focused grid: "Alt+Down", "Down", "Up", "Home",
// "End", "Right" through the grid's key call; "Enter" and "Esc" typed (Input::TypeKey).
void Press(TDBGrid& grid, const std::string& keys) {
  static const std::map<std::string, std::pair<int, TShiftState>> kKeys = {
      {"Alt+Down", {VK_DOWN, ssAlt}}, {"Alt+Up", {VK_UP, ssAlt}},
      {"Down", {VK_DOWN, 0}},         {"Up", {VK_UP, 0}},
      {"Home", {VK_HOME, 0}},         {"End", {VK_END, 0}},
      {"Right", {VK_RIGHT, 0}},       {"Ctrl+Enter", {VK_RETURN, ssCtrl}}};
  std::istringstream words(keys);
  for (std::string key; words >> key;) {
    if (key == "Enter")
      Input::TypeKey(Input::kReturn);
    else if (key == "Esc")
      Input::TypeKey(Input::kEscape);
    else
      grid.KeyDown(kKeys.at(key).first, kKeys.at(key).second);
  }
}

TEST_F(DBGridTest, AltDownOpensThePickListAndItsKeysChooseOrLeaveTheValue) {
  struct Case {
    int row;
    const char* keys;
    const char* stored;  // PAGTO afterwards
    const char* state;
    bool open;
    int highlighted;
  };
  const Case cases[] = {
      // Row 1 holds "EM FOLHA": the list opens on it.
      {1, "Alt+Down", "FOLHAPAGA", "row=1 col=PAGTO browse [EM FOLHA]", true, 0},
      {1, "Alt+Down Down Enter", "CONTAPAGAR", "row=1 col=PAGTO edit [GERAR CONTA]", false, -1},
      {1, "Alt+Down Down Down", "FOLHAPAGA", "row=1 col=PAGTO browse [EM FOLHA]", true, 1},
      {1, "Alt+Down End Home Alt+Up", "FOLHAPAGA", "row=1 col=PAGTO edit [EM FOLHA]", false, -1},
      {1, "Alt+Down Down Esc", "FOLHAPAGA", "row=1 col=PAGTO browse [EM FOLHA]", false, -1},
      {1, "Alt+Down Down Alt+Down", "CONTAPAGAR", "row=1 col=PAGTO edit [GERAR CONTA]", false, -1},
      // Another key closes the list unchanged and does what it does.
      {1, "Alt+Down Down Right", "FOLHAPAGA", "row=1 col=VALOR browse -", false, -1},
      // Row 2 is empty: nothing is highlighted and Enter leaves it empty.
      {2, "Alt+Down", "", "row=2 col=PAGTO browse []", true, -1},
      {2, "Alt+Down Enter", "", "row=2 col=PAGTO browse []", false, -1},
      {2, "Alt+Down Down Enter", "FOLHAPAGA", "row=2 col=PAGTO edit [EM FOLHA]", false, -1},
  };
  ShowForm();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    Input::FocusControl(*grid_);
    grid_->Key(VK_ESCAPE);
    grid_->SelectCell(c.row, 3);
    Press(*grid_, c.keys);
    EXPECT_EQ(dataset_.FieldByName("PAGTO").AsString(), c.stored);
    EXPECT_EQ(State(), c.state);
    EXPECT_EQ(grid_->PickListOpen(), c.open);
    EXPECT_EQ(grid_->PickListIndex(), c.highlighted);
    Press(*grid_, "Esc Esc");  // the list, then the edit
    EXPECT_EQ(dataset_.State(), dsBrowse);
  }
  EXPECT_EQ(services_.Log(), "");
}

TEST_F(DBGridTest, AltDownOpensNothingWhereThereIsNoListToChooseFrom) {
  ShowForm();
  Input::FocusControl(*grid_);
  for (int col : {2, 0}) {  // NOME has no list; NR has none and is read-only
    grid_->SelectCell(1, col);
    Press(*grid_, "Alt+Down");
    EXPECT_FALSE(grid_->PickListOpen()) << col;
    EXPECT_EQ(dataset_.RecNo(), 1) << "Alt+Down is not Down";
  }
  grid_->SetReadOnly(true);
  grid_->SelectCell(1, 3);
  EXPECT_FALSE(grid_->DropDown());
  EXPECT_FALSE(grid_->PickListOpen());
}

TEST_F(DBGridTest, CtrlEnterOnAnEllipsisColumnRunsTheButtonAndElsewhereNothing) {
  int clicks = 0;
  grid_->OnEditButtonClick = [&](TObject*) {
    ++clicks;
    dataset_.Edit();
    dataset_.FieldByName("PROF").SetAsString("555");
  };
  ShowForm();
  Input::FocusControl(*grid_);
  grid_->SelectCell(1, 1);
  Press(*grid_, "Ctrl+Enter");
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(State(), "row=1 col=PROF edit [555]");

  Press(*grid_, "Esc Right Ctrl+Enter");  // NOME offers no button
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(State(), "row=1 col=NOME browse -") << "not even the editor opens";
}

// --- Drawing -----------------------------------------------------------------------

TEST_F(DBGridTest, EveryVisibleDataCellIsDrawnByTheHandlerOnItsOwnRow) {
  // Two rows fit: title 18 + line, then 19 px per row.
  grid_->SetBounds(0, 0, 600, 18 + 1 + 2 * 19);
  grid_->Columns()[1].SetVisible(false);
  grid_->Columns()[3].SetVisible(false);
  grid_->Columns()[4].SetVisible(false);
  dataset_.Last();
  grid_->SetSelectedIndex(2);
  testing::TRecordingCanvas canvas;
  std::vector<std::string> calls;
  grid_->OnDrawColumnCell = [&](TObject* sender, const TRect& rect, int col, TColumn& column, TGridDrawState state) {
    EXPECT_EQ(sender, grid_);
    EXPECT_EQ(&grid_->Canvas(), &canvas);
    calls.push_back(rect.ToString() + " " + std::to_string(col) + ":" + column.FieldName() + "=" +
                    column.Field()->AsString() + " " + state.ToString());
  };

  int scrolls = 0;
  dataset_.AfterScroll = [&](TClientDataSet&) { ++scrolls; };
  grid_->Paint(canvas);
  EXPECT_EQ(grid_->TopRow(), 2);  // follows the current row
  EXPECT_EQ(scrolls, 0);
  std::vector<std::string> unfocused = {"(0,19,64,37) 0:NR=2 []", "(65,19,189,37) 2:NOME=Bia []",
                                        "(0,38,64,56) 0:NR=3 []", "(65,38,189,56) 2:NOME=Caio [gdSelected]"};
  EXPECT_EQ(calls, unfocused);
  EXPECT_EQ(dataset_.RecNo(), 3);  // the cursor did not move

  ShowForm();
  grid_->SetFocus();
  calls.clear();
  grid_->Paint(canvas);
  EXPECT_EQ(calls.back(), "(65,38,189,56) 2:NOME=Caio [gdSelected,gdFocused]");
}

TEST_F(DBGridTest, TheEditedRowIsDrawnWithItsTypedValues) {
  grid_->SetSelectedIndex(2);
  grid_->TypeText("Zé");
  grid_->Key(VK_RETURN);
  std::vector<std::string> names;
  grid_->OnDrawColumnCell = [&](TObject*, const TRect&, int col, TColumn& column, TGridDrawState) {
    if (col == 2) names.push_back(column.Field()->AsString());
  };
  testing::TRecordingCanvas canvas;
  grid_->Paint(canvas);  // no height: every row
  EXPECT_EQ(names, (std::vector<std::string>{"Zé", "Bia", "Caio"}));
  EXPECT_EQ(State(), "row=1 col=NOME edit -");
}

TEST_F(DBGridTest, WithoutAHandlerTheGridDrawsTitlesAndTextsItself) {
  grid_->SetBounds(0, 0, 400, 18 + 1 + 19);
  for (int i : {0, 1, 4}) grid_->Columns()[i].SetVisible(false);
  grid_->Columns()[3].Title().SetAlignment(taRightJustify);
  grid_->Columns()[3].SetWidth(74);  // room for its title
  grid_->SetSelectedIndex(3);
  ShowForm();
  grid_->SetFocus();
  testing::TRecordingCanvas canvas;
  grid_->Paint(canvas);
  EXPECT_EQ(canvas.Log(),
            "TextRect(0,0,124,18; 2,2,\"Nome\") brush=clBtnFace font=clWindowText\n"
            "TextRect(125,0,199,18; 134,2,\"Pagamento\") brush=clBtnFace font=clWindowText\n"
            "TextRect(0,19,124,37; 2,21,\"Ana\") brush=clWindow font=clWindowText\n"
            "TextRect(125,19,199,37; 127,21,\"EM FOLHA\") brush=clHighlight font=clHighlightText\n"
            "DrawFocusRect(125,19,199,37)\n");
}

TEST_F(DBGridTest, ACellIsFoundByItsPoint) {
  grid_->SetBounds(0, 0, 600, 18 + 1 + 3 * 19);
  EXPECT_EQ(grid_->CellAt(80, 40), std::make_optional(std::make_pair(2, 1)));
  EXPECT_EQ(grid_->CellAt(10, 5), std::nullopt);  // title
  EXPECT_EQ(grid_->CellAt(5000, 40), std::nullopt);
}

}  // namespace
}  // namespace rt
