// Bound text, navigator bar, and the data controls created from a layout resource.
#include "platform/runtime/ui/dbctrls.h"

#include <gtest/gtest.h>

#include "platform/runtime/abort.h"
#include "platform/runtime/ui/dbgrid.h"
#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/layout.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace rt {
namespace {

class DataControlsTest : public ::testing::Test {
 protected:
  DataControlsTest() {
    FieldDef nome;
    nome.name = "NOME";
    FieldDef qt;
    qt.name = "QT";
    qt.type = FieldType::Float;
    dataset_.SetFieldDefs({nome, qt});
    dataset_.CreateDataSet();
    for (const char* name : {"Ana", "Bia", "Caio"}) {
      dataset_.Append();
      dataset_.FieldByName("NOME").SetAsString(name);
      dataset_.FieldByName("QT").SetAsFloat(1.5);
      dataset_.Post();
    }
    dataset_.MergeChangeLog();
    dataset_.First();
    source_.SetDataSet(&dataset_);
  }

  testing::TScriptedServices services_;
  TClientDataSet dataset_{"cdsTeste"};
  TDataSource source_{"dtsTeste"};
};

// --- TDBText -----------------------------------------------------------------------

TEST_F(DataControlsTest, BoundTextShowsTheDisplayTextOfTheCurrentRecord) {
  TDBText text;
  text.SetDataSource(&source_);
  text.SetDataField("QT");
  EXPECT_EQ(text.Caption(), "1,5");  // the user's decimal separator

  dataset_.FieldByName("QT").OnGetText = [](TField& f, std::string& out, bool display) {
    out = display ? "<" + f.AsString() + ">" : "edit";
  };
  text.SetDataField("NOME");
  text.SetDataField("QT");
  EXPECT_EQ(text.Caption(), "<1,5>");

  dataset_.Next();
  dataset_.Edit();
  dataset_.FieldByName("QT").SetAsFloat(2);
  EXPECT_EQ(text.Caption(), "<2>");
  dataset_.Cancel();
  EXPECT_EQ(text.Caption(), "<1,5>");
}

TEST_F(DataControlsTest, BoundTextFollowsScrollsAndCatchesUpAfterDisabledControls) {
  TDBText text;
  text.SetDataSource(&source_);
  text.SetDataField("NOME");
  dataset_.Last();
  EXPECT_EQ(text.Caption(), "Caio");
  dataset_.DisableControls();
  dataset_.First();
  EXPECT_EQ(text.Caption(), "Caio");  // held back while controls are disabled
  dataset_.EnableControls();
  EXPECT_EQ(text.Caption(), "Ana");
}

TEST_F(DataControlsTest, BoundTextIsEmptyWithoutSomethingToShow) {
  TDBText text;
  text.SetDataSource(&source_);
  text.SetDataField("XYZ");
  EXPECT_EQ(text.Caption(), "");
  text.SetDataField("NOME");
  EXPECT_EQ(text.Caption(), "Ana");
  dataset_.Close();
  EXPECT_EQ(text.Caption(), "");
  dataset_.CreateDataSet();
  EXPECT_EQ(text.Caption(), "");  // open, no records
  TDBText unbound;
  unbound.SetDataField("NOME");
  EXPECT_EQ(unbound.DisplayText(), "");
}

// --- TDBNavigator ------------------------------------------------------------------

// The enabled buttons, in button order: "first prior next last insert ...".
std::string EnabledButtons(const TDBNavigator& navigator) {
  std::string out;
  for (int b = nbFirst; b <= nbRefresh; ++b) {
    auto button = static_cast<TNavigateBtn>(b);
    if (navigator.ButtonEnabled(button)) out += (out.empty() ? "" : " ") + std::string(NavigateBtnName(button) + 2);
  }
  return out;
}

TEST_F(DataControlsTest, NavigatorButtonsFollowTheDatasetState) {
  TDBNavigator navigator;
  navigator.SetDataSource(&source_);
  struct Case {
    const char* name;
    std::function<void()> setup;
    const char* enabled;
  };
  std::vector<Case> cases = {
      {"first record", [&] { dataset_.First(); }, "Next Last Insert Delete Edit Refresh"},
      {"middle record", [&] { dataset_.Next(); }, "First Prior Next Last Insert Delete Edit Refresh"},
      {"last record", [&] { dataset_.Last(); }, "First Prior Insert Delete Edit Refresh"},
      {"editing", [&] { dataset_.Edit(); }, "First Prior Insert Post Cancel"},
      {"empty",
       [&] {
         dataset_.Cancel();
         dataset_.EmptyDataSet();
       },
       "Insert Refresh"},
      {"closed", [&] { dataset_.Close(); }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.setup();
    EXPECT_EQ(EnabledButtons(navigator), c.enabled);
  }
}

TEST_F(DataControlsTest, NavigatorHiddenOrDisabledButtonsDoNothing) {
  TDBNavigator navigator;
  navigator.SetDataSource(&source_);
  navigator.SetVisibleButtons({nbNext, nbPrior});
  EXPECT_EQ(EnabledButtons(navigator), "Next");
  EXPECT_FALSE(navigator.Press(nbLast));
  EXPECT_EQ(dataset_.RecNo(), 1);
  navigator.SetEnabled(false);
  EXPECT_FALSE(navigator.Press(nbNext));
  EXPECT_EQ(dataset_.RecNo(), 1);
}

TEST_F(DataControlsTest, NavigatorPressesActOnTheDatasetUnderTheExceptionHandler) {
  TDBNavigator navigator;
  navigator.SetDataSource(&source_);
  std::string log;
  navigator.BeforeAction = [&](TObject*, TNavigateBtn b) { log += std::string("before:") + NavigateBtnName(b) + " "; };
  navigator.OnClick = [&](TObject*, TNavigateBtn b) { log += std::string("click:") + NavigateBtnName(b) + " "; };

  EXPECT_TRUE(navigator.Press(nbLast));
  EXPECT_EQ(dataset_.RecNo(), 3);
  EXPECT_TRUE(navigator.Press(nbPrior));
  EXPECT_EQ(dataset_.RecNo(), 2);
  EXPECT_EQ(log, "before:nbLast click:nbLast before:nbPrior click:nbPrior ");

  // A silent refusal: nothing shown, nothing changed.
  dataset_.BeforeInsert = [](TClientDataSet&) { Abort(); };
  EXPECT_FALSE(navigator.Press(nbInsert));
  EXPECT_EQ(dataset_.RecordCount(), 3);
  EXPECT_EQ(dataset_.State(), dsBrowse);

  // Any other failure is shown once and stops the action.
  dataset_.BeforePost = [](TClientDataSet&) { throw std::runtime_error("Valor inválido."); };
  EXPECT_TRUE(navigator.Press(nbEdit));
  EXPECT_FALSE(navigator.Press(nbPost));
  EXPECT_EQ(dataset_.State(), dsEdit);
  EXPECT_TRUE(navigator.Press(nbCancel));
  EXPECT_EQ(dataset_.State(), dsBrowse);
  EXPECT_EQ(services_.Log(), "Error: Valor inválido.");
}

TEST_F(DataControlsTest, NavigatorDeleteAsksFirst) {
  TDBNavigator navigator;
  navigator.SetDataSource(&source_);
  services_.Answer(mrCancel);
  EXPECT_TRUE(navigator.Press(nbDelete));
  EXPECT_EQ(dataset_.RecordCount(), 3);
  services_.Answer(mrOk);
  EXPECT_TRUE(navigator.Press(nbDelete));
  EXPECT_EQ(dataset_.RecordCount(), 2);
  EXPECT_EQ(services_.Log(),
            "MessageDlg(confirmation, OK|Cancel): Excluir registro? -> Cancel | "
            "MessageDlg(confirmation, OK|Cancel): Excluir registro? -> OK");
  navigator.SetConfirmDelete(false);
  EXPECT_TRUE(navigator.Press(nbDelete));
  EXPECT_EQ(dataset_.RecordCount(), 1);
}

TEST_F(DataControlsTest, ANavigatorPostTakesTheGridsPendingText) {
  TDBGrid grid;
  grid.SetDataSource(&source_);
  TDBNavigator navigator;
  navigator.SetDataSource(&source_);
  grid.TypeText("Zoe");
  EXPECT_TRUE(navigator.ButtonEnabled(nbPost));
  EXPECT_TRUE(navigator.Press(nbPost));
  EXPECT_EQ(dataset_.State(), dsBrowse);
  EXPECT_EQ(dataset_.FieldByName("NOME").AsString(), "Zoe");
  EXPECT_EQ(dataset_.ChangeCount(), 1);
}

// --- Layouts -----------------------------------------------------------------------

// A data source a layout can name (the client library has its own component for it).
class TTestSource : public TComponent, public IDataSourceHolder {
 public:
  explicit TTestSource(TComponent* owner = nullptr) : TComponent(owner) {}
  std::string ClassName() const override { return "TTestSource"; }
  TDataSource& HeldDataSource() override { return source; }
  TDataSource source;
};

class DataControlsLayoutTest : public DataControlsTest {
 protected:
  DataControlsLayoutTest() {
    if (!TClassRegistry::Instance().IsRegistered("TTestSource"))
      RegisterClass<TTestSource>("TTestSource", "TComponent");
    RegisterDataControls();
    form_.Handlers().Add<void(TObject*)>("dbgColExit", [this](TObject*) { log_ += "colexit "; });
    form_.Handlers().Add<void(TObject*, const TRect&, int, TColumn&, TGridDrawState)>(
        "dbgDraw", [this](TObject*, const TRect&, int col, TColumn&, TGridDrawState) {
          log_ += "draw" + std::to_string(col) + " ";
        });
  }
  static nlohmann::json Document(const nlohmann::json& grid_columns) {
    return {{"name", "frmTeste"},
            {"children",
             {{{"class", "TTestSource"}, {"name", "dtsTeste"}},
              {{"class", "TDBGrid"},
               {"name", "dbgPadrao"},
               {"properties", {{"DataSource", "dtsTeste"}, {"Columns", grid_columns}}},
               {"events", {{"OnColExit", "dbgColExit"}, {"OnDrawColumnCell", "dbgDraw"}}}},
              {{"class", "TDBText"},
               {"name", "dbeNome"},
               {"properties", {{"DataSource", "dtsTeste"}, {"DataField", "NOME"}, {"Font", {{"Bold", true}}}}}},
              {{"class", "TDBNavigator"},
               {"name", "dbnPadrao"},
               {"properties", {{"DataSource", "dtsTeste"}, {"VisibleButtons", {"nbPrior", "nbNext"}}}}}}}};
  }

  TForm form_;
  std::string log_;
};

TEST_F(DataControlsLayoutTest, ALayoutCreatesTheDataControlsWithTheirColumnsAndEvents) {
  nlohmann::json columns = {
      {{"FieldName", "QT"}, {"ReadOnly", true}, {"Width", 44}, {"Title", {{"Alignment", "taRightJustify"}}}},
      {{"FieldName", "NOME"},
       {"ButtonStyle", "cbsEllipsis"},
       {"PickList", {"EM FOLHA", "GERAR CONTA"}},
       {"Title", {{"Caption", "Nome"}}}}};
  ReadLayoutDocument(form_, Document(columns));
  auto* source = form_.Find<TTestSource>("dtsTeste");
  auto* grid = form_.Find<TDBGrid>("dbgPadrao");
  auto* text = form_.Find<TDBText>("dbeNome");
  auto* navigator = form_.Find<TDBNavigator>("dbnPadrao");
  ASSERT_TRUE(source && grid && text && navigator);
  source->source.SetDataSet(&dataset_);

  ASSERT_EQ(grid->Columns().Count(), 2);
  TColumn& qt = grid->Columns()[0];
  TColumn& nome = grid->Columns()[1];
  EXPECT_EQ(qt.Field(), &dataset_.FieldByName("QT"));
  EXPECT_TRUE(qt.ReadOnly());
  EXPECT_EQ(qt.Width(), 44);
  EXPECT_EQ(qt.Title().Alignment(), taRightJustify);
  EXPECT_EQ(nome.ButtonStyle(), cbsEllipsis);
  EXPECT_EQ(nome.PickList(), (std::vector<std::string>{"EM FOLHA", "GERAR CONTA"}));
  EXPECT_EQ(nome.Title().Caption(), "Nome");

  grid->Key(VK_RIGHT);
  EXPECT_EQ(log_, "colexit ");
  EXPECT_EQ(text->Caption(), "Ana");
  EXPECT_TRUE(text->Font().Bold);
  EXPECT_EQ(navigator->VisibleButtons(), (TNavButtonSet{nbPrior, nbNext}));
  EXPECT_EQ(navigator->DataSource(), &source->source);
}

TEST_F(DataControlsLayoutTest, BadColumnsAreReportedByName) {
  using Json = nlohmann::json;
  struct Case {
    const char* name;
    Json columns;
    const char* message;
  };
  std::vector<Case> cases = {
      {"unknown property", Json::array({Json::object({{"FieldName", "QT"}, {"Colour", 1}})}),
       "unknown column property Colour"},
      {"bad button style", Json::array({Json::object({{"ButtonStyle", "cbsCombo"}})}), "unknown value \"cbsCombo\""},
      {"not a list", Json::object({{"FieldName", "QT"}}), "a list of columns was expected"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TForm form;
    try {
      ReadLayoutDocument(form, Document(c.columns));
      ADD_FAILURE() << "no error";
    } catch (const ELayoutError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
// The navigator's tips and a tool button's picture come from the layout, so that a
// language module translates the tips and no host knows a screen's button names.
TEST(NavigatorHintsAndGlyphs, ComeFromTheLayoutWithDefaultsAndClearErrors) {
  TDBNavigator plain;
  EXPECT_EQ(plain.Hint(nbFirst), "Primeiro");
  EXPECT_EQ(plain.Hint(nbNext), "Próximo");
  EXPECT_EQ(plain.Hint(nbRefresh), "Atualizar");

  TForm form;
  ReadLayoutDocument(form, nlohmann::json::parse(R"({"name": "frmTeste", "children": [
      {"class": "TDBNavigator", "name": "dbnPadrao", "properties": {"Hints": ["First", "", "Next"]}},
      {"class": "TSpeedButton", "name": "sbtGravar", "properties": {"Glyph": "bgSave"}},
      {"class": "TSpeedButton", "name": "sbtNada"}]})"));
  auto* navigator = form.Find<TDBNavigator>("dbnPadrao");
  EXPECT_EQ(navigator->Hint(nbFirst), "First");
  EXPECT_EQ(navigator->Hint(nbPrior), "Anterior");  // an empty text keeps the default
  EXPECT_EQ(navigator->Hint(nbNext), "Next");
  EXPECT_EQ(navigator->Hint(nbLast), "Último");  // past the list's end: the default
  EXPECT_EQ(form.Find<TSpeedButton>("sbtGravar")->Glyph(), bgSave);
  EXPECT_EQ(form.Find<TSpeedButton>("sbtNada")->Glyph(), bgNone);

  const struct {
    const char* entry;
    const char* message;
  } bad[] = {
      {R"({"class": "TDBNavigator", "name": "n", "properties": {"Hints": "Primeiro"}})", "a list of texts"},
      {R"({"class": "TDBNavigator", "name": "n", "properties": {"Hints": ["1","2","3","4","5","6","7","8","9","10","11"]}})",
       "10 buttons, not 11 hints"},
      {R"({"class": "TSpeedButton", "name": "b", "properties": {"Glyph": "bgDisk"}})", "unknown value \"bgDisk\""},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c.entry);
    TForm other;
    try {
      ReadLayoutDocument(other,
                         nlohmann::json::parse(std::string(R"({"name": "frmTeste", "children": [)") + c.entry + "]}"));
      ADD_FAILURE() << "no error";
    } catch (const ELayoutError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(plain.SetHints(std::vector<std::string>(11, "x")), EListError);
}

}  // namespace rt
