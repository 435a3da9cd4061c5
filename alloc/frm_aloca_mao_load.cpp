// Loading the allocation grid (sbtVerificarClick) and its trigger on leaving the filter
// panel, the rule that enables the tool-bar buttons and menu items (HabilitaBotoes),
// and the handlers that keep grid, buttons and filter panel in step.
#include <optional>

#include "alloc/bulk_change.h"
#include "alloc/frm_aloca_mao.h"
#include "alloc/grid_rows.h"
#include "alloc/screen_support.h"
#include "platform/clientlib/routines.h"
#include "platform/clientlib/session.h"
#include "platform/clientlib/ui_routines.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/menus.h"

namespace {

constexpr const char* kOrdemGrade = "NMPRODUTO;NRFORNE";
constexpr int kAviCarga = 1;  // busy animation of a load

}  // namespace

void TfrmAlocaMao::panFiltroExit(rt::TObject*) {
  Vd_NrOrca(true);
  Vd_Sequencial();
  sbtVerificarClick(&Control("sbtVerificar"));
  HabilitaBotoes();
}

void TfrmAlocaMao::sbtVerificarClick(rt::TObject*) {
  GravaPendentes();  // a reload never drops what the clerk typed
  CarregaOrcamento();
}

void TfrmAlocaMao::RecarregaNaLinha(bool com_animacao) {
  rt::TClientDataSet& grade = cdsForneMao();
  if (alloc::Editando(grade)) grade.Cancel();
  std::vector<rt::Variant> unidade;
  const char* const chave = "NRTURNO;CDPRODUTO;NRFORNE";
  if (grade.Active() && !grade.IsEmpty())
    for (const char* field : {"NRTURNO", "CDPRODUTO", "NRFORNE"}) unidade.push_back(grade.FieldByName(field).Value());
  CarregaOrcamento(com_animacao);
  if (!unidade.empty() && grade.Active()) grade.Locate(chave, unidade);
}

void TfrmAlocaMao::CarregaOrcamento(bool com_animacao) {
  OuveAlteracoes();  // before the load: a change committed between the two is heard too
  {
    std::optional<alloc::TBusyScope> busy;
    if (com_animacao) busy.emplace(kAviCarga);
    auto packets = alloc::AlocaForneAnswer(
        ChamaServidor("GetAlocaForne", {clib::FiliProc(), edtNrOrcamento().Text(), edtSeq().Text()}));
    // All four checked against their datasets before any is replaced: a refused answer
    // changes nothing on screen.
    rt::TClientDataSet* destinos[] = {&cdsNfRelacOrc(), &cdsOrcaEvento(), &cdsFornMaoAux(), &cdsItMaoObra()};
    const std::size_t origem[] = {3, 0, 1, 2};
    std::shared_ptr<rt::TClientDataSet::TPreparedData> preparados[4];
    for (std::size_t i = 0; i < 4; ++i) preparados[i] = destinos[i]->PrepareData(*packets[origem[i]]);
    for (std::size_t i = 0; i < 4; ++i) destinos[i]->SetData(*preparados[i]);
    MontaGrade();
    Comp<rt::TLabel>("lblAviso").SetCaption("");  // what it told of is on screen now
  }
  HabilitaBotoes();
}

void TfrmAlocaMao::MontaGrade() {
  rt::TClientDataSet& grade = cdsForneMao();
  if (grade.Active())
    grade.EmptyDataSet();
  else
    grade.CreateDataSet();  // created empty

  alloc::TGridRowKey key{stCdFilial, stNrOrcamento, edtSeq().Text(), rt::Variant()};
  rt::TClientDataSet& cabecalho = cdsOrcaEvento();
  if (!cabecalho.IsEmpty()) key.qt_hr_evento = cabecalho.FieldByName("QTHREVENTO").Value();

  alloc::TBulkChange bulk(grade);
  grade.SetIndexFieldNames("");
  // On every path, failure or not: a row left half-built by a failure is dropped, the
  // order comes back, controls and handlers are restored, the rows become the base.
  auto restaura = [&] {
    if (alloc::Editando(grade)) grade.Cancel();
    grade.SetIndexFieldNames(kOrdemGrade);
    bulk.Restore();
    grade.MergeChangeLog();
  };
  try {
    alloc::BuildAllocationRows(cdsFornMaoAux(), grade, key);
  } catch (...) {
    restaura();
    throw;
  }
  restaura();
  if (!grade.IsEmpty()) grade.First();  // after a load the cursor is on the first row
}

void TfrmAlocaMao::HabilitaBotoes() { AplicaBotoes(ActiveControl() == &dbgPadrao()); }

void TfrmAlocaMao::AplicaBotoes(bool grade_com_foco) {
  rt::TClientDataSet& grade = cdsForneMao();
  const bool navegando = !alloc::Editando(grade);
  const bool tem_linhas = grade.Active() && !grade.IsEmpty();
  rt::TClientDataSet& contas = cdsNfRelacOrc();
  const bool tem_contas = contas.Active() && !contas.IsEmpty();
  auto set = [this](const char* name, bool on) -> bool {
    Control(name).SetEnabled(on);
    return on;
  };

  // Generating accounts (and clearing the professionals, and changing) needs rows, no
  // row being edited and no accounts yet; cancelling needs rows and accounts.
  const bool gera = set("sbtGeraConta", tem_linhas && navegando && !tem_contas);
  const bool limpa = set("sbtLimpaForn", gera);
  const bool cancela = set("sbtCancelaConta", tem_linhas && navegando && tem_contas);
  // Reload (save button), search and print are offered only while browsing the grid of
  // a given budget; rows are never added or deleted by hand.
  const bool verifica = set("sbtVerificar", grade_com_foco && !clib::EmptyString(edtNrOrcamento().Text()) && navegando);
  set("sbtAlterar", gera);
  set("sbtPesquisar", verifica && tem_linhas);
  set("sbtIncluir", false);
  set("sbtExcluir", false);
  const bool imprime = set("sbtImprimir", verifica);
  // Each menu item follows its button.
  MenuItem("mnuListagem").SetEnabled(imprime);
  for (const char* name : {"Incluir", "Alterar", "Excluir", "Pesquisar", "Verificar"})
    MenuItem(std::string("mnu") + name).SetEnabled(Control(std::string("sbt") + name).Enabled());
  MenuItem("mnuGeraConta").SetEnabled(gera);
  MenuItem("mnuLimpaForn").SetEnabled(limpa);
  MenuItem("mnuCancelaConta").SetEnabled(cancela);
}

void TfrmAlocaMao::dtsPadraoStateChange(rt::TObject* Sender) {
  clib::TfrmPadraoGrid::dtsPadraoStateChange(Sender);
  HabilitaBotoes();
  rt::TDataSetState state = DataSourcePadrao().State();
  clib::SetChildEnabled(panFiltro(), state != rt::dsEdit && state != rt::dsInsert);
  // The notice of other clerks' changes sits in the panel, and is there to be read
  // while the clerk edits: never greyed out.
  Comp<rt::TLabel>("lblAviso").SetEnabled(true);
}

void TfrmAlocaMao::dbgPadraoEnter(rt::TObject*) { HabilitaBotoes(); }

void TfrmAlocaMao::dbgPadraoExit(rt::TObject*) {
  rt::TClientDataSet& grade = cdsForneMao();
  if (grade.Active()) {
    // Nothing typed is lost: a row being edited is posted through its checks and saved,
    // and a change whose save failed earlier is sent again. A refusal keeps the focus in
    // the grid with the row as it was.
    GravaPendentes();
    grade.EmptyDataSet();
  }
  AplicaBotoes(false);  // the focus is leaving the grid
}

void TfrmAlocaMao::sbtAlterarClick(rt::TObject* Sender) {
  clib::TfrmPadraoGrid::sbtAlterarClick(Sender);
  cdsForneMao().FieldByName("NRINSJURFORN").FocusControl();
}
