// The base screens read from their layouts, extended by a derived screen's layout, and
// their standard handlers; the grid routines, the search button and the connection
// component as a screen uses them.
#include "platform/clientlib/base_forms.h"

#include <gtest/gtest.h>

#include "platform/clientlib/grid_routines.h"
#include "platform/clientlib/unit.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/layout.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace clib {
namespace {

const char* const kLayoutTFRMTESTE = R"json({
  "class": "TfrmTeste", "name": "frmTeste",
  "properties": {"Caption": "Teste"},
  "children": [
    {"name": "lblCodTela", "inherited": true, "properties": {"Caption": "TST001"}},
    {"name": "panMenu", "inherited": true, "children": [
      {"class": "TEdit", "name": "edtCodigo", "properties": {"Left": 400, "TabOrder": 1}},
      {"class": "TBtnPesquisa", "name": "btnCodigo",
       "properties": {"Edit": "edtCodigo", "Titulo": "Código", "TextoVazio": "Nada."}}]},
    {"name": "dtsPadrao", "inherited": true, "properties": {"DataSet": "cdsTeste"}},
    {"name": "dbgPadrao", "inherited": true,
     "properties": {"Columns": [{"FieldName": "NOME"}, {"FieldName": "CODIGO"}]}},
    {"class": "TClientDataSet", "name": "cdsTeste", "properties": {"FieldDefs": [
      {"name": "CODIGO", "type": "string", "size": 4, "label": "Código", "applied": false},
      {"name": "NOME", "type": "string", "size": 20, "label": "Nome"},
      {"name": "VALOR", "type": "float", "visible": false}]}},
    {"class": "TNetConnection", "name": "netTeste",
     "properties": {"ServerName": "X.rdm", "Port": 1}, "events": {"BeforeConnect": "netTesteBeforeConnect"}}
  ]
})json";

class TfrmTeste : public TfrmPadraoGrid {
 public:
  explicit TfrmTeste(rt::TComponent* owner = nullptr) : TfrmPadraoGrid(owner) {}
  void netTesteBeforeConnect(rt::TObject*) { ++before_connect; }
  rt::TClientDataSet& cds() { return DataSetOf(*this, "cdsTeste"); }
  int before_connect = 0;

 protected:
  std::vector<std::string> LayoutResources() const override { return {"TFRMPADRAOGRID", "TFRMTESTE"}; }
  void PublishHandlers() override {
    TfrmPadraoGrid::PublishHandlers();
    Publish("netTesteBeforeConnect", &TfrmTeste::netTesteBeforeConnect);
  }
};

struct TRecordingServer : IAppServer {
  std::string calls;
  ServerAnswer Call(const std::string& method, std::vector<Arg> args) override {
    calls += method + "(" + std::to_string(args.size()) + ")";
    if (!args.empty() && args[0].RefTarget()) *args[0].RefTarget() = "rewritten";
    return {true, rt::Variant(true), "", 0};
  }
};

class BaseFormsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Initialization();
    static rt::TModuleRecord module{"base_forms_test", "", {{"TFRMTESTE", kLayoutTFRMTESTE}}, nullptr};
    rt::RegisterModule(&module);
  }
  void SetUp() override {
    form_ = rt::CreateForm<TfrmTeste>(&rt::Application());
    rt::TClientDataSet& ds = form_->cds();
    ds.CreateDataSet();
    for (const char* nome : {"Bia", "Ana"}) {
      ds.Append();
      ds.FieldByName("NOME").SetAsString(nome);
      ds.FieldByName("CODIGO").SetAsString(std::string(nome).substr(0, 1));
      ds.Post();
    }
    ds.MergeChangeLog();
    ds.First();
    form_->Show();
  }
  void TearDown() override {
    if (form_) delete form_;
    rt::Application().ProcessMessages();
  }
  template <class T>
  T& C(const std::string& name) {
    return *form_->Find<T>(name);
  }

  rt::testing::TScriptedServices services_;
  TfrmTeste* form_ = nullptr;
};

TEST_F(BaseFormsTest, DerivedLayoutAddsAndOverridesByName) {
  for (const char* name : {"panMenu",
                           "sbtIncluir",
                           "sbtAlterar",
                           "sbtExcluir",
                           "sbtPesquisar",
                           "sbtVerificar",
                           "sbtAjuda",
                           "sbtImprimir",
                           "sbtFechar",
                           "lblCodTela",
                           "pgcPadrao",
                           "tshPadrao",
                           "panDbgPadrao",
                           "scbFolhaDados",
                           "dbgPadrao",
                           "panNavigator",
                           "dbnPadrao",
                           "mnuMenu",
                           "mnuOperacao",
                           "mnuListagem",
                           "mnuConfigImpressora",
                           "mnuManutencao",
                           "dtsPadrao",
                           "msgPadrao",
                           "msgMensagensPadroes",
                           "cdsTeste",
                           "edtCodigo",
                           "btnCodigo"})
    EXPECT_NE(form_->FindComponent(name), nullptr) << name;
  EXPECT_EQ(form_->Caption(), "Teste");
  EXPECT_EQ(C<rt::TLabel>("lblCodTela").Caption(), "TST001");
  std::string tools;
  for (rt::TControl* c : C<rt::TPanel>("panMenu").Controls())
    if (c->Name().rfind("sbt", 0) == 0) tools += c->Name() + " ";
  EXPECT_EQ(tools, "sbtIncluir sbtAlterar sbtExcluir sbtPesquisar sbtVerificar sbtImprimir sbtAjuda sbtFechar ");
  std::string items;
  for (rt::TMenuItem* i : C<rt::TMenuItem>("mnuManutencao").Items()) items += i->Name() + " ";
  EXPECT_EQ(items, "mnuIncluir mnuAlterar mnuExcluir mnuPesquisar mnuVerificar ");
  EXPECT_EQ(C<TMessages>("msgMensagensPadroes").Msg("Excl"), "Confirma exclusão?");
  EXPECT_EQ(&form_->DataSourcePadrao(), &C<TDataSourceComponent>("dtsPadrao").Source());
  EXPECT_EQ(form_->DataSourcePadrao().DataSet(), &form_->cds());
}

TEST_F(BaseFormsTest, EditButtonEditsAndStateFollowsInTheButtons) {
  ASSERT_TRUE(rt::Input::Click(C<rt::TControl>("sbtAlterar")));
  EXPECT_EQ(form_->cds().State(), rt::dsEdit);
  for (const char* name : {"sbtIncluir", "sbtExcluir", "sbtPesquisar"})
    EXPECT_FALSE(C<rt::TControl>(name).Enabled()) << name;
  form_->cds().FieldByName("NOME").SetAsString("Bea");
  ASSERT_TRUE(rt::Input::Click(C<rt::TControl>("sbtVerificar")));
  EXPECT_EQ(form_->cds().State(), rt::dsBrowse);
  EXPECT_EQ(form_->cds().ChangeCount(), 1);
  for (const char* name : {"sbtIncluir", "sbtExcluir", "sbtPesquisar"})
    EXPECT_TRUE(C<rt::TControl>(name).Enabled()) << name;
}

TEST_F(BaseFormsTest, DeleteOnlyAfterYes) {
  services_.Answer(rt::mrNo);
  ASSERT_TRUE(rt::Input::Click(C<rt::TControl>("sbtExcluir")));
  EXPECT_EQ(form_->cds().RecordCount(), 2);
  services_.Answer(rt::mrYes);
  ASSERT_TRUE(rt::Input::Click(C<rt::TControl>("sbtExcluir")));
  EXPECT_EQ(form_->cds().RecordCount(), 1);
  EXPECT_EQ(services_.Log(),
            "MessageDlg(confirmation, Yes|No): Confirma exclusão? -> No | "
            "MessageDlg(confirmation, Yes|No): Confirma exclusão? -> Yes");
}

TEST_F(BaseFormsTest, ReturnKeyIsDroppedByTheGridKeyHandler) {
  for (auto [key, left] : {std::pair{'\r', '\0'}, std::pair{'a', 'a'}}) {
    char k = key;
    form_->dbgPadraoKeyPress(nullptr, k);
    EXPECT_EQ(k, left);
  }
}

TEST_F(BaseFormsTest, CloseButtonFreesTheScreen) {
  int destroyed = 0;
  form_->AddDestroyObserver([&](rt::TComponent*) { ++destroyed; });
  ASSERT_TRUE(rt::Input::Click(C<rt::TControl>("sbtFechar")));
  EXPECT_EQ(destroyed, 1);  // released when the click's guard returned
  form_ = nullptr;
}

TEST_F(BaseFormsTest, GridTextAndColumnIndex) {
  auto& grid = C<rt::TDBGrid>("dbgPadrao");
  EXPECT_EQ(IndiceCol(grid, "CODIGO"), 1);
  EXPECT_EQ(IndiceCol(grid, "nome"), 0);
  EXPECT_EQ(IndiceCol(grid, "VALOR"), -1);
  form_->cds().FieldByName("NOME").OnGetText = [](rt::TField& f, std::string& text, bool display) {
    text = (display ? "<" : "[") + f.AsString() + (display ? ">" : "]");
  };
  EXPECT_EQ(GridText(grid, "NOME", false), "<Bia>");
  EXPECT_EQ(GridText(grid, "NOME", true), "[Bia]");
  EXPECT_EQ(GridText(grid, "VALOR", false), "");
  ASSERT_TRUE(grid.SelectCell(1, 1));
  ASSERT_TRUE(grid.TypeChar('Z'));  // the open editor's text is the column's edit text
  EXPECT_EQ(GridText(grid, "CODIGO", true), grid.EditorText());
  EXPECT_NE(GridText(grid, "CODIGO", true), GridText(grid, "CODIGO", false));
}

TEST_F(BaseFormsTest, SearchButtonKnowsItsEditAndTitle) {
  auto& btn = C<TBtnPesquisa>("btnCodigo");
  EXPECT_EQ(btn.Edit(), &C<rt::TEdit>("edtCodigo"));
  EXPECT_EQ(btn.SearchTitle(), "Código|Nada.");
  EXPECT_TRUE(btn.Flat());
  delete &C<rt::TEdit>("edtCodigo");
  EXPECT_EQ(btn.Edit(), nullptr);  // no dangling edit
}

TEST_F(BaseFormsTest, SearchButtonGoingFirstLeavesItsEditSound) {
  auto& edit = C<rt::TEdit>("edtCodigo");
  delete &C<TBtnPesquisa>("btnCodigo");
  delete &edit;  // would call back into the freed button if it had not let go
  EXPECT_EQ(form_->FindComponent("edtCodigo"), nullptr);
}

TEST_F(BaseFormsTest, ConnectionComponentRunsItsEventAndRoutesCalls) {
  auto& net = C<TNetConnectionComponent>("netTeste");
  auto server = std::make_shared<TRecordingServer>();
  net.SetAppServer(server);
  net.SetConnected(true);
  EXPECT_TRUE(net.Connected());
  EXPECT_EQ(form_->before_connect, 1);
  std::string ref = "x";
  ServerAnswer answer = net.Call("GetTurma", {Arg::Ref(ref), Arg("b")});
  EXPECT_TRUE(answer.ok);
  EXPECT_EQ(ref, "rewritten");
  EXPECT_EQ(server->calls, "GetTurma(2)");
}

TEST_F(BaseFormsTest, UnreachableServerDoesNotRaiseAndCallsFailWithAText) {
  auto& net = C<TNetConnectionComponent>("netTeste");
  net.SetHost("127.0.0.1");  // port 1: nobody listens
  EXPECT_NO_THROW(net.SetConnected(true));
  EXPECT_FALSE(net.Connected());
  EXPECT_FALSE(net.LastError().empty());
  ServerAnswer answer = net.Call("GetTurma", {});
  EXPECT_FALSE(answer.ok);
  EXPECT_NE(answer.error_text.find("127.0.0.1:1"), std::string::npos) << answer.error_text;
}

// The report-parameter screen: its report list and a run through the report dialog.
class TfrmRelTeste : public TfrmDadosGerRel {
 public:
  explicit TfrmRelTeste(rt::TComponent* owner = nullptr) : TfrmDadosGerRel(owner) {}
  void Before(rt::TObject*, TReportParams& params) {
    if (ExistParam(params, "P_A")) params.ParamByName("P_A").SetAsString("a'1");
  }

 protected:
  void PublishHandlers() override {
    TfrmDadosGerRel::PublishHandlers();
    Publish("Before", &TfrmRelTeste::Before);
  }
};

// The reports "Primeiro" (P_A, P_B) and "Segundo" (none); runs answer no rows. The
// values each run sent are written down; `refuse` makes the list call fail.
struct TReportServer : IAppServer {
  std::vector<std::string> runs;
  std::string refuse;
  int lists = 0;
  ServerAnswer Call(const std::string& method, std::vector<Arg> args) override {
    if (method == "GetRelatorios") {
      ++lists;
      if (!refuse.empty()) return {false, rt::Variant(), refuse, 0};
      return {true,
              rt::VariantArray{rt::VariantArray{"Primeiro", "", rt::VariantArray{"P_A", "P_B"}},
                               rt::VariantArray{"Segundo", "", rt::VariantArray{}}},
              "", 0};
    }
    runs.push_back(args.at(3).Value().Describe());
    return {true, rt::VariantArray{"", "{}", rt::DataPacket()}, "", 0};
  }
};

struct TRecordingProvider : IReportDataProvider {
  std::vector<std::string> reports;
  void RunReport(const TReportRun& run) override { reports.push_back(run.report); }
};

TEST(ReportScreenTest, ListsTheServersReportsAndRunsTheChosenOneWithItsParameters) {
  Initialization();
  rt::testing::TScriptedServices services;
  auto server = std::make_shared<TReportServer>();
  TNetConnectionComponent::SetAppServerProvider([server](TNetConnectionComponent&) { return server; });
  auto provider = std::make_shared<TRecordingProvider>();
  SetReportDataProvider(provider);
  auto* form = rt::CreateForm<TfrmRelTeste>(&rt::Application());
  auto& dialog = form->ReportDialog();
  EXPECT_EQ(dialog.Connection(), &form->netRelatorio()) << "the layout wires the connection";
  dialog.SetReportCode("TST");
  dialog.BeforeGetQueryParams = [form](rt::TObject* s, TReportParams& p) { form->Before(s, p); };
  form->FormCreate(form);  // the list is filled from the code set above
  auto& names = *form->Find<TComboBox>("cbbReportNames");
  EXPECT_EQ(names.Items(), (std::vector<std::string>{"Primeiro", "Segundo"}));
  EXPECT_EQ(names.Text(), "Primeiro");
  form->Show();
  ASSERT_TRUE(rt::Input::Click(*form->Find<rt::TControl>("sbtImprimir")));
  // The value with a quote travels as it is, as data; the unset one as null.
  EXPECT_EQ(server->runs, (std::vector<std::string>{"[[\"P_A\", \"a'1\"], [\"P_B\", null]]"}));
  EXPECT_EQ(provider->reports, (std::vector<std::string>{"Primeiro"}));
  EXPECT_THROW(dialog.Execute("Terceiro"), std::invalid_argument);
  SetReportDataProvider(nullptr);
  TNetConnectionComponent::SetAppServerProvider(nullptr);
  delete form;
}

TEST(ReportScreenTest, AnUnreachableServerLeavesTheListEmptyAndPrintingAsksAgain) {
  Initialization();
  rt::testing::TScriptedServices services;
  auto server = std::make_shared<TReportServer>();
  server->refuse = "Não foi possível conectar ao servidor de aplicação 127.0.0.1:8211 (Connection refused)";
  TNetConnectionComponent::SetAppServerProvider([server](TNetConnectionComponent&) { return server; });
  auto* form = rt::CreateForm<TfrmRelTeste>(&rt::Application());  // its creation asks for the list
  auto& names = *form->Find<TComboBox>("cbbReportNames");
  EXPECT_TRUE(names.Items().empty());
  EXPECT_EQ(services.Log(), "MessageDlg(error, OK): " + server->refuse + " -> OK");
  server->refuse.clear();
  form->Show();
  ASSERT_TRUE(rt::Input::Click(*form->Find<rt::TControl>("sbtImprimir")));
  EXPECT_EQ(names.Text(), "Primeiro");
  EXPECT_EQ(server->runs.size(), 1u) << "the list came back and the first report ran";
  TNetConnectionComponent::SetAppServerProvider(nullptr);
  delete form;
}

}  // namespace
}  // namespace clib
