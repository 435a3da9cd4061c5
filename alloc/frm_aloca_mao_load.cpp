// Loading the allocation grid (sbtVerificarClick) and its trigger on leaving the filter
// panel, the rule that enables the tool-bar buttons and menu items (HabilitaBotoes),
// and the handlers that keep grid, buttons and filter panel in step.
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

bool Editando(const rt::TClientDataSet& ds) { return ds.State() == rt::dsEdit || ds.State() == rt::dsInsert; }

// The busy animation for a scope: hidden on every path.
class TAnimacao {
 public:
  explicit TAnimacao(int kind) { clib::ActiveShowAvi(rt::Application().MainForm(), kind); }
  ~TAnimacao() { clib::DeactiveShowAvi(); }
  TAnimacao(const TAnimacao&) = delete;
  TAnimacao& operator=(const TAnimacao&) = delete;
};

}  // namespace

void TfrmAlocaMao::panFiltroExit(rt::TObject*) {
  Vd_NrOrca(true);
  Vd_Sequencial();
  sbtVerificarClick(&Control("sbtVerificar"));
  HabilitaBotoes();
}

void TfrmAlocaMao::sbtVerificarClick(rt::TObject*) {
  {
    TAnimacao animacao(kAviCarga);
    auto packets = alloc::AlocaForneAnswer(
        ChamaServidor("GetAlocaForne", {clib::FiliProc(), edtNrOrcamento().Text(), edtSeq().Text()}));
    cdsNfRelacOrc().SetData(*packets[3]);
    cdsOrcaEvento().SetData(*packets[0]);
    cdsFornMaoAux().SetData(*packets[1]);
    cdsItMaoObra().SetData(*packets[2]);
    MontaGrade();
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
  // Step 7 of the load, on every path: a row left half-built by a failure is dropped,
  // the order comes back, controls and handlers are restored, the rows become the base.
  auto restaura = [&] {
    if (Editando(grade)) grade.Cancel();
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
  if (!grade.IsEmpty()) grade.First();  // First on an emptied dataset with calculated fields crashes the runtime
}

void TfrmAlocaMao::HabilitaBotoes() {
  rt::TClientDataSet& grade = cdsForneMao();
  const bool navegando = !Editando(grade);
  const bool tem_linhas = grade.Active() && !grade.IsEmpty();
  rt::TClientDataSet& contas = cdsNfRelacOrc();
  const bool tem_contas = contas.Active() && !contas.IsEmpty();
  auto set = [this](const char* name, bool on) -> bool {
    Control(name).SetEnabled(on);
    return on;
  };

  const bool gera = set("sbtGeraConta", tem_linhas && navegando && !tem_contas);  // 1
  const bool limpa = set("sbtLimpaForn", gera);                                  // 2
  const bool cancela = set("sbtCancelaConta", tem_linhas && navegando && tem_contas);  // 3
  const bool verifica = set("sbtVerificar", ActiveControl() == &dbgPadrao() &&       // 4
                                                !clib::EmptyString(edtNrOrcamento().Text()) && navegando);
  set("sbtAlterar", gera);                       // 5
  set("sbtPesquisar", verifica && tem_linhas);   // 6
  set("sbtIncluir", false);                      // 7
  set("sbtExcluir", false);
  const bool imprime = set("sbtImprimir", verifica);  // 8
  MenuItem("mnuListagem").SetEnabled(imprime);        // 9
  for (const char* name : {"Incluir", "Alterar", "Excluir", "Pesquisar", "Verificar"})  // 10
    MenuItem(std::string("mnu") + name).SetEnabled(Control(std::string("sbt") + name).Enabled());
  MenuItem("mnuGeraConta").SetEnabled(gera);  // 11
  MenuItem("mnuLimpaForn").SetEnabled(limpa);
  MenuItem("mnuCancelaConta").SetEnabled(cancela);
}

void TfrmAlocaMao::dtsPadraoStateChange(rt::TObject* Sender) {
  clib::TfrmPadraoGrid::dtsPadraoStateChange(Sender);
  HabilitaBotoes();
  rt::TDataSetState state = DataSourcePadrao().State();
  clib::SetChildEnabled(panFiltro(), state != rt::dsEdit && state != rt::dsInsert);
}

void TfrmAlocaMao::dbgPadraoExit(rt::TObject*) {
  rt::TClientDataSet& grade = cdsForneMao();
  if (grade.Active()) grade.EmptyDataSet();
  HabilitaBotoes();
}

void TfrmAlocaMao::sbtAlterarClick(rt::TObject* Sender) {
  clib::TfrmPadraoGrid::sbtAlterarClick(Sender);
  cdsForneMao().FieldByName("NRINSJURFORN").FocusControl();
}
