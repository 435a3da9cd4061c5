// Layout resources: reading a form's components, properties and handlers from JSON,
// layouts of base and derived forms, errors, resource modules and language overrides.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/layout_fuzz_entry.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace rt {
namespace {

using json = nlohmann::json;

// A base screen and a screen derived from it, each with its own layout resource.
class TfrmBase : public TForm {
 public:
  using TForm::TForm;
  std::string ClassName() const override { return "TfrmBase"; }
  std::string calls;
  void FormCreate(TObject*) { calls += "base.FormCreate "; }
  void sbtFecharClick(TObject*) { calls += "sbtFecharClick "; }

 protected:
  std::vector<std::string> LayoutResources() const override { return {"TFRMBASE"}; }
  void PublishHandlers() override {
    Publish("FormCreate", &TfrmBase::FormCreate);
    Publish("sbtFecharClick", &TfrmBase::sbtFecharClick);
  }
};

class TfrmDerived : public TfrmBase {
 public:
  using TfrmBase::TfrmBase;
  std::string ClassName() const override { return "TfrmDerived"; }
  void FormCreate(TObject* sender) {
    TfrmBase::FormCreate(sender);
    calls += "derived.FormCreate ";
  }
  void edtNrKeyPress(TObject*, char& key) {
    if (key < '0' || key > '9') key = 0;
  }
  void edtNrChange(TObject*) { calls += "change "; }
  void panFiltroExit(TObject*) { calls += "panFiltroExit "; }
  void mnuLimpaClick(TObject*) { calls += "mnuLimpaClick "; }
  void FormClose(TObject*, TCloseAction& action) { action = caFree; }

 protected:
  std::vector<std::string> LayoutResources() const override { return {"TFRMBASE", "TFRMDERIVED"}; }
  void PublishHandlers() override {
    TfrmBase::PublishHandlers();
    Publish("FormCreate", &TfrmDerived::FormCreate);  // overrides the base's
    Publish("edtNrKeyPress", &TfrmDerived::edtNrKeyPress);
    Publish("edtNrChange", &TfrmDerived::edtNrChange);
    Publish("panFiltroExit", &TfrmDerived::panFiltroExit);
    Publish("mnuLimpaClick", &TfrmDerived::mnuLimpaClick);
    Publish("FormClose", &TfrmDerived::FormClose);
  }
};

const char* kBaseLayout = R"({
  "class": "TfrmBase", "name": "frmBase",
  "properties": {"Caption": "Base", "Left": 10, "Top": 20, "Width": 300, "Height": 200},
  "events": {"OnCreate": "FormCreate"},
  "children": [
    {"class": "TPanel", "name": "panMenu", "properties": {"Align": "alTop", "Height": 29},
     "children": [
       {"class": "TSpeedButton", "name": "sbtFechar",
        "properties": {"Left": 350, "Flat": true, "Hint": "Fechar", "ShowHint": true},
        "events": {"OnClick": "sbtFecharClick"}}
     ]},
    {"class": "TMainMenu", "name": "mnuMenu", "children": [
       {"class": "TMenuItem", "name": "mnuManutencao", "properties": {"Caption": "Manutenção"}}
    ]}
  ]
})";

const char* kDerivedLayout = R"({
  "class": "TfrmDerived", "name": "frmDerived",
  "properties": {"Caption": "Alocação de Mão de Obra", "FormStyle": "fsMDIChild", "Left": 193, "Top": 154,
                 "Width": 895, "Height": 417, "Menu": "mnuMenu", "ActiveControl": "edtNr"},
  "events": {"OnClose": "FormClose"},
  "children": [
    {"name": "panMenu", "inherited": true, "children": [
       {"class": "TSpeedButton", "name": "sbtLimpa",
        "properties": {"Left": 181, "Top": 4, "Width": 21, "Height": 21, "Enabled": false,
                       "Hint": "Limpar Profissionais", "ShowHint": true, "Flat": true}}
    ]},
    {"name": "mnuManutencao", "inherited": true, "children": [
       {"class": "TMenuItem", "name": "N1", "properties": {"Caption": "-"}},
       {"class": "TMenuItem", "name": "mnuLimpa",
        "properties": {"Caption": "Limpar Profissionais", "ShortCut": "Ctrl+L"},
        "events": {"OnClick": "mnuLimpaClick"}}
    ]},
    {"class": "TPanel", "name": "panFiltro", "properties": {"Align": "alTop", "Height": 30},
     "events": {"OnExit": "panFiltroExit"},
     "children": [
       {"class": "TLabel", "name": "lblNr", "properties": {"Caption": "Nr. Orçamento", "Font": {"Bold": true}}},
       {"class": "TEdit", "name": "edtNr",
        "properties": {"CharCase": "ecUpperCase", "MaxLength": 10, "Color": "clInfoBk", "TabOrder": 0},
        "events": {"OnKeyPress": "edtNrKeyPress", "OnChange": "edtNrChange"}},
       {"class": "TEdit", "name": "edtSeq", "properties": {"MaxLength": 2, "TabOrder": 2}}
     ]},
    {"class": "TEdit", "name": "edtOutside"}
  ]
})";

class LayoutTest : public ::testing::Test {
 protected:
  LayoutTest() {
    module.name = "test";
    module.resources["TFRMBASE"] = kBaseLayout;
    module.resources["TFRMDERIVED"] = kDerivedLayout;
    RegisterModule(&module);
  }
  ~LayoutTest() override { UnregisterModule(&module); }

  testing::TScriptedServices services;
  TModuleRecord module;
};

TEST_F(LayoutTest, BuildsTheComponentsNestedAsTheLayoutSays) {
  std::unique_ptr<TfrmDerived> form(CreateForm<TfrmDerived>(nullptr));
  EXPECT_EQ(form->Name(), "frmDerived");
  EXPECT_EQ(form->Caption(), "Alocação de Mão de Obra");
  EXPECT_EQ(form->FormStyle(), fsMDIChild);
  EXPECT_EQ(form->BoundsRect(), Rect(193, 154, 193 + 895, 154 + 417));

  auto* panel = form->Find<TPanel>("panFiltro");
  auto* edit = form->Find<TEdit>("edtNr");
  auto* label = form->Find<TLabel>("lblNr");
  ASSERT_TRUE(panel && edit && label);
  EXPECT_EQ(panel->Parent(), form.get());
  EXPECT_EQ(edit->Parent(), panel);
  EXPECT_EQ(edit->Owner(), form.get());
  EXPECT_EQ(panel->Align(), alTop);
  EXPECT_EQ(edit->CharCase(), ecUpperCase);
  EXPECT_EQ(edit->MaxLength(), 10);
  EXPECT_EQ(edit->Color(), clInfoBk);
  EXPECT_EQ(label->Caption(), "Nr. Orçamento");
  EXPECT_TRUE(label->Font().Bold);

  // Inherited components got the derived layout's additions.
  auto* button = form->Find<TSpeedButton>("sbtLimpa");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->Parent(), form->Find<TPanel>("panMenu"));
  EXPECT_FALSE(button->Enabled());
  EXPECT_EQ(button->Hint(), "Limpar Profissionais");
  std::string captions;
  for (TMenuItem* item : form->Find<TMenuItem>("mnuManutencao")->Items()) captions += item->Caption() + ";";
  EXPECT_EQ(captions, "-;Limpar Profissionais;");
  EXPECT_EQ(form->Menu(), form->Find<TMainMenu>("mnuMenu"));
}

TEST_F(LayoutTest, ASecondInstanceOfAFormTakesTheNextFreeName) {
  TComponent owner;
  std::unique_ptr<TfrmDerived> first(CreateForm<TfrmDerived>(&owner));
  std::unique_ptr<TfrmDerived> second(CreateForm<TfrmDerived>(&owner));
  std::unique_ptr<TfrmDerived> third(CreateForm<TfrmDerived>(&owner));
  EXPECT_EQ(first->Name() + " " + second->Name() + " " + third->Name(), "frmDerived frmDerived_1 frmDerived_2");
}

TEST_F(LayoutTest, WiresThePublishedHandlersWithDerivedOverrides) {
  std::unique_ptr<TfrmDerived> form(CreateForm<TfrmDerived>(nullptr));
  EXPECT_EQ(form->calls, "base.FormCreate derived.FormCreate ");  // OnCreate runs once
  form->calls.clear();

  form->Show();
  EXPECT_EQ(form->ActiveControl(), form->Find<TEdit>("edtNr"));
  Input::TypeText("1a2");
  EXPECT_EQ(form->Find<TEdit>("edtNr")->Text(), "12");
  Input::FocusControl(*form->Find<TEdit>("edtOutside"));
  Input::ShortCut(*form, "Ctrl+L");
  Input::Click(*form->Find<TSpeedButton>("sbtFechar"));
  EXPECT_EQ(form->calls, "change change panFiltroExit mnuLimpaClick sbtFecharClick ");
}

TEST_F(LayoutTest, TheLayoutsTabOrderRulesTheTabKey) {
  std::unique_ptr<TfrmDerived> form(CreateForm<TfrmDerived>(nullptr));
  form->Show();
  Input::PressTab();
  EXPECT_EQ(form->ActiveControl()->Name(), "edtSeq");
}

struct LayoutErrorCase {
  const char* name;
  const char* document;
  const char* message;
};

class LayoutErrorTest : public LayoutTest, public ::testing::WithParamInterface<LayoutErrorCase> {};

TEST_P(LayoutErrorTest, FailsWithAClearError) {
  module.resources["TFRMBROKEN"] = GetParam().document;
  std::unique_ptr<TfrmDerived> form(new TfrmDerived(nullptr));
  form->Handlers().Add<void(TObject*)>("Click", [](TObject*) {});
  try {
    ReadLayout(*form, "TFRMBROKEN");
    FAIL() << "no error";
  } catch (const ELayoutError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, LayoutErrorTest,
    ::testing::Values(
        LayoutErrorCase{"UnknownClass", R"({"children": [{"class": "TWidget", "name": "x"}]})",
                        "Unknown class TWidget"},
        LayoutErrorCase{"UnknownProperty",
                        R"({"children": [{"class": "TEdit", "name": "e", "properties": {"Colour": 1}}]})",
                        "Unknown property Colour of e (TEdit)"},
        LayoutErrorCase{"UnknownEvent",
                        R"({"children": [{"class": "TLabel", "name": "l", "events": {"OnExit": "Click"}}]})",
                        "Unknown event OnExit of l (TLabel)"},
        LayoutErrorCase{"UnknownHandler",
                        R"({"children": [{"class": "TEdit", "name": "e", "events": {"OnChange": "Nope"}}]})",
                        "Handler \"Nope\" is not published by the form"},
        LayoutErrorCase{"HandlerOfAnotherShape",
                        R"({"children": [{"class": "TEdit", "name": "e", "events": {"OnKeyPress": "Click"}}]})",
                        "Handler \"Click\" does not fit the event"},
        LayoutErrorCase{"WrongValueKind",
                        R"({"children": [{"class": "TEdit", "name": "e", "properties": {"MaxLength": "10"}}]})",
                        "e (TEdit).MaxLength: an integer was expected"},
        LayoutErrorCase{"UnknownEnumValue",
                        R"({"children": [{"class": "TPanel", "name": "p", "properties": {"Align": "alMiddle"}}]})",
                        "unknown value \"alMiddle\""},
        LayoutErrorCase{"UnknownColour",
                        R"({"children": [{"class": "TPanel", "name": "p", "properties": {"Color": "clPink"}}]})",
                        "a colour was expected"},
        LayoutErrorCase{"DuplicateName",
                        R"({"children": [{"class": "TEdit", "name": "e"}, {"class": "TEdit", "name": "E"}]})",
                        "already exists"},
        LayoutErrorCase{"MissingInherited", R"({"children": [{"name": "panGone", "inherited": true}]})",
                        "Inherited component \"panGone\" does not exist"},
        LayoutErrorCase{
            "ControlInsideALabel",
            R"({"children": [{"class": "TLabel", "name": "l", "children": [{"class": "TEdit", "name": "e"}]}]})",
            "cannot hold controls"},
        LayoutErrorCase{"UnresolvedReference", R"({"properties": {"ActiveControl": "edtNowhere"}})",
                        "No component named \"edtNowhere\""},
        LayoutErrorCase{"MisspeltSection", R"({"children": [{"class": "TEdit", "name": "e", "propertes": {}}]})",
                        "Unknown key \"propertes\" in the entry of \"e\""},
        LayoutErrorCase{"NotJson", R"({"children": [)", "is not valid JSON"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LayoutTest, AFailedLayoutDestroysTheFormBeingCreated) {
  module.resources["TFRMDERIVED"] = R"({"children": [{"class": "TWidget", "name": "x"}]})";
  size_t forms_before = Screen().Forms().size();
  EXPECT_THROW(CreateForm<TfrmDerived>(nullptr), ELayoutError);
  EXPECT_EQ(Screen().Forms().size(), forms_before);
}

TEST_F(LayoutTest, AnUnknownResourceIsAnError) {
  TForm form;
  EXPECT_THROW(ReadLayout(form, "TFRMNADA"), ELayoutError);
}

// --- Language resource modules ---------------------------------------------------------

class ResourceModuleTest : public LayoutTest {
 protected:
  ResourceModuleTest() {
    dir = std::filesystem::temp_directory_path() / ("alloc_ui_res_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    library = (dir / "libPkg_Test.so").string();
    std::ofstream(library) << "not a real library";
  }
  ~ResourceModuleTest() override { std::filesystem::remove_all(dir); }
  void WriteModule(const std::string& suffix, const std::string& content) {
    std::ofstream(library + "." + suffix) << content;
  }

  std::filesystem::path dir;
  std::string library;
};

TEST_F(ResourceModuleTest, FindsTheModuleOfTheLocaleOrOfItsLanguage) {
  WriteModule("en", "{}");
  WriteModule("fr_CA", "{}");
  struct Case {
    const char* locale;
    std::optional<std::string> suffix;
  };
  for (const Case& c : {Case{"en_GB.UTF-8", "en"}, Case{"en", "en"}, Case{"fr_CA.UTF-8@euro", "fr_CA"},
                        Case{"pt_BR.UTF-8", std::nullopt}, Case{"", std::nullopt}, Case{"../../etc/x", std::nullopt}}) {
    auto found = FindResourceModule(library, c.locale);
    EXPECT_EQ(found, c.suffix ? std::optional<std::string>(library + "." + *c.suffix) : std::nullopt) << c.locale;
  }
}

TEST_F(ResourceModuleTest, TheLanguageModuleOverridesTheLibrarysOwnResources) {
  json english = json::parse(kDerivedLayout);
  english["properties"]["Caption"] = "Labour Allocation";
  WriteModule("en", json{{"resources", {{"TFRMDERIVED", english}}}}.dump());

  auto path = FindResourceModule(library, "en_US.UTF-8");
  ASSERT_TRUE(path);
  module.resource_module = TResourceModule::LoadFromFile(*path);
  std::unique_ptr<TfrmDerived> form(CreateForm<TfrmDerived>(nullptr));
  EXPECT_EQ(form->Caption(), "Labour Allocation");
  EXPECT_NE(form->Find<TPanel>("panMenu"), nullptr);  // the base layout still comes from the library

  module.resource_module.reset();  // no language module: the library's own texts
  std::unique_ptr<TfrmDerived> own(CreateForm<TfrmDerived>(nullptr));
  EXPECT_EQ(own->Caption(), "Alocação de Mão de Obra");
}

TEST_F(ResourceModuleTest, AMalformedLanguageModuleIsRefusedWithItsPath) {
  WriteModule("en", R"({"resource": {}})");
  try {
    TResourceModule::LoadFromFile(library + ".en");
    FAIL();
  } catch (const ELayoutError& e) {
    EXPECT_NE(std::string(e.what()).find(library + ".en"), std::string::npos);
  }
}

// The fuzz seeds of the layout reader (fuzz/corpus/layout): each one builds its form or
// fails with a layout error that leaves no form behind.
TEST(LayoutFuzzCorpus, EverySeedBuildsOrFailsCleanly) {
  testing::TScriptedServices services;
  int seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ALLOC_LAYOUT_CORPUS_DIR)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(CheckOneLayout(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), "")
        << entry.path().filename();
    ++seeds;
  }
  EXPECT_GE(seeds, 10);
}

}  // namespace
}  // namespace rt
