// Budget selection in the filter panel: typing or searching the budget number, the
// sequence, their padding and their checks with the application server, and the
// panel's enter event, which discards the budget on screen.
#include "alloc/frm_aloca_mao.h"
#include "alloc/screen_support.h"
#include "platform/clientlib/routines.h"
#include "platform/clientlib/server_result.h"
#include "platform/clientlib/session.h"
#include "platform/clientlib/ui_routines.h"
#include "platform/runtime/ui/input.h"

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

void TfrmAlocaMao::edtNrOrcamentoKeyPress(rt::TObject*, char& Key) {
  if (Key != rt::Input::kBackspace && !alloc::IsDigit(Key) && !IsLetter(Key)) Key = 0;
}

void TfrmAlocaMao::edtSeqKeyPress(rt::TObject*, char& Key) {
  if (Key != rt::Input::kBackspace && !alloc::IsDigit(Key)) Key = 0;
}

void TfrmAlocaMao::edtNrOrcamentoChange(rt::TObject*) {
  edtSeq().SetText("");
  stCdFilial.clear();
  stNrOrcamento.clear();
}

void TfrmAlocaMao::edtNrOrcamentoExit(rt::TObject*) {
  Vd_NrOrca(false);
  edtSeq().SetText(clib::EmptyString(edtNrOrcamento().Text()) ? "" : "00");
}

void TfrmAlocaMao::btnNrOrcamentoClick(rt::TObject*) {
  rt::TEdit& numero = edtNrOrcamento();
  // Entering from outside the panel runs panFiltroEnter: the budget on screen goes.
  if (ActiveControl() != &numero && numero.Enabled()) numero.SetFocus();
  alloc::LoadPacket(cdsPesqOrca(), ChamaServidor("GetPesqOrca", {clib::FiliProc(), "", ""}), "GetPesqOrca");
  std::string title = msgPadrao().Msg("ORCA") + "|" + btnNrOrcamento().TextoVazio();
  if (!clib::Pesquisar(DataSource("dtsPesqOrca"), title, false, true)) return;
  rt::TClientDataSet& escolha = cdsPesqOrca();
  numero.SetText(escolha.FieldByName("NRORCAEVENTO").AsString());  // runs edtNrOrcamentoChange
  stCdFilial = escolha.FieldByName("CDFILIAL").AsString();
  stNrOrcamento = escolha.FieldByName("NRORCAEVENTO").AsString();
}

void TfrmAlocaMao::Vd_NrOrca(bool required) {
  rt::TEdit& numero = edtNrOrcamento();
  if (clib::EmptyString(numero.Text())) {
    if (!required) return;
    numero.SetFocus();
    clib::MensErro(msgPadrao().Msg("ORCA_N_INFO"), true);
  }
  try {
    numero.SetText(clib::Ajusta(numero.Text(), 10));  // a change runs edtNrOrcamentoChange
    rt::TClientDataSet& achado = cdsVdOrcaEven();
    alloc::LoadPacket(achado, ChamaServidor("GetPesqOrca", {clib::FiliProc(), numero.Text(), "1"}), "GetPesqOrca");
    if (achado.IsEmpty()) clib::MensErro(msgPadrao().Msg("ORCA_N_CAD"), true);
    achado.First();
    stCdFilial = achado.FieldByName("CDFILIAL").AsString();
    stNrOrcamento = achado.FieldByName("NRORCAEVENTO").AsString();
  } catch (...) {
    alloc::FocusAfterFailure(numero);
    throw;
  }
}

void TfrmAlocaMao::Vd_Sequencial() {
  rt::TEdit& seq = edtSeq();
  if (clib::EmptyString(seq.Text())) {
    seq.SetFocus();
    clib::MensErro(msgPadrao().Msg("SEQ_N_INF"), true);
  }
  seq.SetText(clib::Ajusta(seq.Text(), 2));
  rt::TClientDataSet& achado = cdsSequencial();
  alloc::LoadPacket(achado, ChamaServidor("GetSequencial", {edtNrOrcamento().Text(), seq.Text()}), "GetSequencial");
  if (achado.IsEmpty()) {
    seq.SetFocus();
    clib::MensErro(msgPadrao().Msg("SEQ_N_CAD"), true);
  }
}

void TfrmAlocaMao::panFiltroEnter(rt::TObject*) {
  DeixaDeOuvir();  // the next load listens to the budget it loads
  rt::TClientDataSet& grade = cdsForneMao();
  if (grade.Active())
    grade.EmptyDataSet();
  else
    grade.CreateDataSet();  // created empty
  grade.Close();
  cdsOrcaEvento().Close();
  cdsItMaoObra().Close();
}
