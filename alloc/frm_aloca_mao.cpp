#include "alloc/frm_aloca_mao.h"

#include "alloc/cli_evt04700.h"
#include "alloc/screen_support.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/services.h"
#include "platform/clientlib/server_result.h"
#include "platform/clientlib/session.h"

void TfrmAlocaMao::PublishHandlers() {
  clib::TfrmPadraoGrid::PublishHandlers();
  Publish("FormCreate", &TfrmAlocaMao::FormCreate);
  Publish("FormClose", &TfrmAlocaMao::FormClose);
  Publish("FormCloseQuery", &TfrmAlocaMao::FormCloseQuery);
  Publish("netAlocBeforeConnect", &TfrmAlocaMao::netAlocBeforeConnect);
  // Budget selection.
  Publish("edtNrOrcamentoKeyPress", &TfrmAlocaMao::edtNrOrcamentoKeyPress);
  Publish("edtSeqKeyPress", &TfrmAlocaMao::edtSeqKeyPress);
  Publish("edtNrOrcamentoChange", &TfrmAlocaMao::edtNrOrcamentoChange);
  Publish("edtNrOrcamentoExit", &TfrmAlocaMao::edtNrOrcamentoExit);
  Publish("btnNrOrcamentoClick", &TfrmAlocaMao::btnNrOrcamentoClick);
  Publish("panFiltroEnter", &TfrmAlocaMao::panFiltroEnter);
  Publish("panFiltroExit", &TfrmAlocaMao::panFiltroExit);
  // Loading and upkeep.
  Publish("sbtVerificarClick", &TfrmAlocaMao::sbtVerificarClick);
  Publish("dtsPadraoStateChange", &TfrmAlocaMao::dtsPadraoStateChange);
  Publish("dbgPadraoEnter", &TfrmAlocaMao::dbgPadraoEnter);
  Publish("dbgPadraoExit", &TfrmAlocaMao::dbgPadraoExit);
  Publish("sbtAlterarClick", &TfrmAlocaMao::sbtAlterarClick);
  // Rows, display and payables.
  Publish("cdsForneMaoBeforeInsert", &TfrmAlocaMao::cdsForneMaoBeforeInsert);
  Publish("cdsForneMaoBeforeEdit", &TfrmAlocaMao::cdsForneMaoBeforeEdit);
  Publish("cdsForneMaoBeforePost", &TfrmAlocaMao::cdsForneMaoBeforePost);
  Publish("cdsForneMaoAfterPost", &TfrmAlocaMao::cdsForneMaoAfterPost);
  Publish("cdsForneMaoBeforeDelete", &TfrmAlocaMao::cdsForneMaoBeforeDelete);
  Publish("cdsForneMaoCalcFields", &TfrmAlocaMao::cdsForneMaoCalcFields);
  Publish("dbgPadraoColEnter", &TfrmAlocaMao::dbgPadraoColEnter);
  Publish("dbgPadraoColExit", &TfrmAlocaMao::dbgPadraoColExit);
  Publish("dbgPadraoEditButtonClick", &TfrmAlocaMao::dbgPadraoEditButtonClick);
  Publish("dbgPadraoKeyPress", &TfrmAlocaMao::dbgPadraoKeyPress);
  Publish("dbgPadraoDrawColumnCell", &TfrmAlocaMao::dbgPadraoDrawColumnCell);
  Publish("sbtGeraContaClick", &TfrmAlocaMao::sbtGeraContaClick);
  Publish("sbtCancelaContaClick", &TfrmAlocaMao::sbtCancelaContaClick);
  Publish("sbtLimpaFornClick", &TfrmAlocaMao::sbtLimpaFornClick);
  Publish("sbtImprimirClick", &TfrmAlocaMao::sbtImprimirClick);
}

void TfrmAlocaMao::FormCreate(rt::TObject* Sender) {
  clib::TfrmPadraoGrid::FormCreate(Sender);
  netAloc().SetConnected(true);  // never raises: a failure shows in the first call
  LigaTextoCampos();
  cdsForneAux().CreateDataSet();
  cdsForneMao().CreateDataSet();
  stInscricao.clear();
}

void TfrmAlocaMao::LigaTextoCampos() {
  auto get = [this](void (TfrmAlocaMao::*handler)(rt::TField&, std::string&, bool)) {
    return [this, handler](rt::TField& f, std::string& text, bool display) { (this->*handler)(f, text, display); };
  };
  cdsForneMao().FieldByName("NRINSJURFORN").OnGetText = get(&TfrmAlocaMao::cdsForneMaoNRINSJURFORNGetText);
  cdsForneMao().FieldByName("IDTIPOPAGAFORN").OnGetText = get(&TfrmAlocaMao::cdsForneMaoIDTIPOPAGAFORNGetText);
  cdsForneMao().FieldByName("IDTIPOPAGAFORN").OnSetText = [this](rt::TField& f, const std::string& text) {
    cdsForneMaoIDTIPOPAGAFORNSetText(f, text);
  };
  cdsForneMao().FieldByName("HRINITUMOBRA").OnGetText = get(&TfrmAlocaMao::cdsForneMaoHRINITUMOBRAGetText);
  DataSet("cdsProdForn").FieldByName("NRINSJURFORN").OnGetText = get(&TfrmAlocaMao::cdsProdFornNRINSJURFORNGetText);
  DataSet("cdsProdForn").FieldByName("DSALOCACAO").OnGetText = get(&TfrmAlocaMao::cdsProdFornDSALOCACAOGetText);
  DataSet("cdsTurma").FieldByName("HRINITUMOBRA").OnGetText = get(&TfrmAlocaMao::cdsTurmaHRINITUMOBRAGetText);
}

void TfrmAlocaMao::netAlocBeforeConnect(rt::TObject*) {
  netAloc().SetHost(clib::WebURL());
  netAloc().SetPort(clib::WebPort());
}

void TfrmAlocaMao::FormCloseQuery(rt::TObject*, bool& CanClose) {
  rt::TClientDataSet& grade = cdsForneMao();
  try {
    GravaPendentes();
    return;
  } catch (...) {
    rt::Application().HandleException(std::current_exception());  // the check's or the save's message
  }
  // The refusal's own question may have discarded them already.
  if (!grade.Active() || (!alloc::Editando(grade) && grade.ChangeCount() == 0)) return;
  CanClose = rt::MessageDlg(msgPadrao().Msg("FECHA_DESCARTA"), rt::mtConfirmation, {rt::mbYes, rt::mbNo}, 0) == rt::mrYes;
  if (CanClose && alloc::Editando(grade)) grade.Cancel();
}

void TfrmAlocaMao::FormClose(rt::TObject* Sender, rt::TCloseAction& Action) {
  boStCriado = false;
  DeixaDeOuvir();
  clib::TfrmPadraoGrid::FormClose(Sender, Action);
}

rt::Variant TfrmAlocaMao::ChamaServidor(const std::string& method, std::vector<clib::Arg> args) {
  return clib::CheckResultServ(netAloc().Call(method, std::move(args)), true, 0);
}
