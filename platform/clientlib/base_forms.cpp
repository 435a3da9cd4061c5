#include "platform/clientlib/base_forms.h"

#include <mutex>

#include "platform/clientlib/base_forms_layouts.h"
#include "platform/clientlib/server_result.h"
#include "platform/clientlib/session.h"
#include "platform/clientlib/ui_routines.h"
#include "platform/runtime/client_dataset.h"
#include "platform/runtime/ui/layout.h"
#include "platform/runtime/ui/services.h"

namespace clib {

// ---- TfrmPadraoGrid -------------------------------------------------------------

void TfrmPadraoGrid::PublishHandlers() {
  rt::TForm::PublishHandlers();
  Publish("FormCreate", &TfrmPadraoGrid::FormCreate);
  Publish("FormClose", &TfrmPadraoGrid::FormClose);
  Publish("dbgPadraoKeyPress", &TfrmPadraoGrid::dbgPadraoKeyPress);
  Publish("dtsPadraoStateChange", &TfrmPadraoGrid::dtsPadraoStateChange);
  Publish("sbtAlterarClick", &TfrmPadraoGrid::sbtAlterarClick);
  Publish("sbtIncluirClick", &TfrmPadraoGrid::sbtIncluirClick);
  Publish("sbtExcluirClick", &TfrmPadraoGrid::sbtExcluirClick);
  Publish("sbtPesquisarClick", &TfrmPadraoGrid::sbtPesquisarClick);
  Publish("sbtVerificarClick", &TfrmPadraoGrid::sbtVerificarClick);
  Publish("sbtFecharClick", &TfrmPadraoGrid::sbtFecharClick);
}

rt::TDataSource& TfrmPadraoGrid::DataSourcePadrao() { return Comp<TDataSourceComponent>("dtsPadrao").Source(); }
TMessages& TfrmPadraoGrid::MsgPadrao() { return Comp<TMessages>("msgPadrao"); }

// Not through the virtual handler: a screen's override must not run before the screen's
// own creation has prepared what it reads.
void TfrmPadraoGrid::FormCreate(rt::TObject*) { SyncStandardButtons(); }

void TfrmPadraoGrid::FormClose(rt::TObject*, rt::TCloseAction& Action) { Action = rt::caFree; }

void TfrmPadraoGrid::dbgPadraoKeyPress(rt::TObject*, char& Key) {
  if (Key == '\r') Key = 0;
}

void TfrmPadraoGrid::dtsPadraoStateChange(rt::TObject*) { SyncStandardButtons(); }

void TfrmPadraoGrid::SyncStandardButtons() {
  rt::TDataSetState state = DataSourcePadrao().State();
  bool browsing = state != rt::dsEdit && state != rt::dsInsert;
  for (const char* name : {"sbtIncluir", "sbtExcluir", "sbtPesquisar"})
    if (auto* b = Find<rt::TControl>(name)) b->SetEnabled(browsing);
}

void TfrmPadraoGrid::sbtAlterarClick(rt::TObject*) {
  rt::TClientDataSet* ds = DataSourcePadrao().DataSet();
  if (ds && ds->Active() && !ds->IsEmpty()) ds->Edit();
}

void TfrmPadraoGrid::sbtIncluirClick(rt::TObject*) {
  rt::TClientDataSet* ds = DataSourcePadrao().DataSet();
  if (ds && ds->Active()) ds->Append();
}

void TfrmPadraoGrid::sbtExcluirClick(rt::TObject*) {
  rt::TClientDataSet* ds = DataSourcePadrao().DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty()) return;
  std::string question = Comp<TMessages>("msgMensagensPadroes").Msg("Excl");
  if (rt::MessageDlg(question, rt::mtConfirmation, {rt::mbYes, rt::mbNo}, 0) == rt::mrYes) ds->Delete();
}

void TfrmPadraoGrid::sbtPesquisarClick(rt::TObject*) { Pesquisar(DataSourcePadrao(), Caption(), false, true); }

void TfrmPadraoGrid::sbtVerificarClick(rt::TObject*) {
  rt::TClientDataSet* ds = DataSourcePadrao().DataSet();
  if (ds && (ds->State() == rt::dsEdit || ds->State() == rt::dsInsert)) ds->Post();
}

void TfrmPadraoGrid::sbtFecharClick(rt::TObject*) { Close(); }

// ---- TfrmDadosGerRel ------------------------------------------------------------

void TfrmDadosGerRel::PublishHandlers() {
  rt::TForm::PublishHandlers();
  Publish("FormCreate", &TfrmDadosGerRel::FormCreate);
  Publish("FormClose", &TfrmDadosGerRel::FormClose);
  Publish("sbtImprimirClick", &TfrmDadosGerRel::sbtImprimirClick);
  Publish("sbtFecharClick", &TfrmDadosGerRel::sbtFecharClick);
  Publish("netRelatorioBeforeConnect", &TfrmDadosGerRel::netRelatorioBeforeConnect);
}

TReportDesignerDialog& TfrmDadosGerRel::ReportDialog() { return Comp<TReportDesignerDialog>("rpddPadrao"); }
TNetConnectionComponent& TfrmDadosGerRel::netRelatorio() { return Comp<TNetConnectionComponent>("netRelatorio"); }

void TfrmDadosGerRel::netRelatorioBeforeConnect(rt::TObject*) {
  netRelatorio().SetHost(WebURL());
  netRelatorio().SetPort(WebPort());
}

bool TfrmDadosGerRel::FillReportNames() {
  auto& names = Comp<TComboBox>("cbbReportNames");
  try {
    names.SetItems(ReportDialog().ReportNames());
  } catch (const EServerError& e) {  // the form stays usable: printing asks again
    names.SetItems({});
    MensErro(e.what(), false);
  }
  if (!names.Items().empty() && names.ItemIndex() < 0) names.SetItemIndex(0);
  return !names.Items().empty();
}

void TfrmDadosGerRel::FormCreate(rt::TObject*) { FillReportNames(); }

void TfrmDadosGerRel::FormClose(rt::TObject*, rt::TCloseAction& Action) { Action = rt::caFree; }

void TfrmDadosGerRel::sbtImprimirClick(rt::TObject*) {
  auto& names = Comp<TComboBox>("cbbReportNames");
  if (names.Items().empty() && !FillReportNames()) return;  // no report to run
  if (names.ItemIndex() < 0) return;
  ReportDialog().Execute(names.Items()[names.ItemIndex()]);
}

void TfrmDadosGerRel::sbtFecharClick(rt::TObject*) { Close(); }

// ---- Registration -----------------------------------------------------------------

namespace {
rt::TModuleRecord& LibraryModule() {
  static rt::TModuleRecord record{
      "alloc_clientlib",
      "",
      {{"TFRMPADRAOGRID", kLayoutTFRMPADRAOGRID}, {"TFRMDADOSGERREL", kLayoutTFRMDADOSGERREL}},
      nullptr};
  return record;
}
}  // namespace

void RegisterBaseForms() {
  static std::once_flag once;
  std::call_once(once, [] { rt::RegisterModule(&LibraryModule()); });
}

}  // namespace clib
