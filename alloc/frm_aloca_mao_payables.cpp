// Accounts payable of the budget: generation (after the completeness walk and the two
// server checks), cancellation, clearing every professional at once, and the print
// button. A refusal of the server that carries a message key ("N_PARAM_…", optionally
// "|" and one argument) is shown as the key's text.
#include "alloc/bulk_change.h"
#include "alloc/conversions.h"
#include "alloc/frm_aloca_mao.h"
#include "alloc/screen_support.h"
#include "platform/clientlib/routines.h"
#include "platform/clientlib/server_result.h"
#include "platform/clientlib/session.h"
#include "platform/runtime/ui/services.h"
#include "report/cli_evt04701.h"

namespace {

constexpr int kAviProcesso = 6;  // busy animation of the checks, generation and cancellation

void Informa(const std::string& text) { rt::MessageDlg(text, rt::mtInformation, {rt::mbOK}, 0); }

}  // namespace

void TfrmAlocaMao::sbtGeraContaClick(rt::TObject*) {
  rt::TClientDataSet& grade = cdsForneMao();
  if (!grade.Active() || grade.IsEmpty()) return;
  GravaPendentes();  // the payables are built from what the server holds
  rt::TClientDataSet& copia = cdsForneAux();
  copia.SetData(grade.Data());
  for (copia.First(); !copia.Eof(); copia.Next())
    if (SemProfissional(copia.FieldByName("CDFORNECED").AsString())) clib::MensErro(msgPadrao().Msg("FORN_EMPTY"), true);
  Vd_VerifVrPg();
  Vd_VerifTpPagForn();
  {
    alloc::TBusyScope busy(kAviProcesso);
    const rt::Variant answer =
        ChamaConta(busy, "GeraConta",
                   {clib::Arg::Ref(stCdFilial), clib::Arg::Ref(stNrOrcamento), edtSeq().Text(), clib::Operador()});
    if (!answer.IsNull()) clib::MensErro(msgPadrao().Msg("CONTA_JA_CAD"), true);  // hidden after the message
    Informa(msgPadrao().Msg("SUCESSO"));
  }
  sbtVerificarClick(&Control("sbtVerificar"));
}

void TfrmAlocaMao::sbtCancelaContaClick(rt::TObject*) {
  rt::TClientDataSet& cabecalho = cdsOrcaEvento();
  auto chave = [&](const char* field) { return cabecalho.Active() ? cabecalho.FieldByName(field).AsString() : ""; };
  GravaPendentes();  // the reload after the cancellation must not drop them
  {
    alloc::TBusyScope busy(kAviProcesso);
    ChamaConta(busy, "SetCancelaConta", {chave("CDFILIAL"), chave("NRORCAEVENTO"), chave("NRSEQORCAEVE")});
    Informa(msgPadrao().Msg("CANC_SUCESSO"));
  }
  sbtVerificarClick(&Control("sbtVerificar"));
}

rt::Variant TfrmAlocaMao::ChamaConta(alloc::TBusyScope& busy, const std::string& method, std::vector<clib::Arg> args) {
  try {
    return ChamaServidor(method, std::move(args));
  } catch (const clib::EServerError& e) {
    busy.Hide();  // before any message
    MensagemDaFalha(e.what());
    throw;
  }
}

void TfrmAlocaMao::MensagemDaFalha(const std::string& failure) {
  if (failure.find("N_PARAM_") == std::string::npos) return;  // the failure goes on as it is
  const std::size_t bar = failure.find('|');
  std::string text = msgPadrao().Msg(failure.substr(0, bar));
  // The one argument in place of "%s"; a text without "%s" is shown unchanged.
  if (bar != std::string::npos) text = alloc::ComArgumentos(text, {failure.substr(bar + 1)});
  clib::MensErro(text, true);
}

void TfrmAlocaMao::Vd_VerifVrPg() {
  if (!VerificaConta("Get_VrPgMObra")) clib::MensErro(msgPadrao().Msg("VRZERO_GERCNT_BLOQ"), true);
}

void TfrmAlocaMao::Vd_VerifTpPagForn() {
  if (!VerificaConta("GetTpFormPgProf")) clib::MensErro(msgPadrao().Msg("TPFORM_GERCNT_BLOQ"), true);
}

bool TfrmAlocaMao::VerificaConta(const std::string& method) {
  alloc::TBusyScope busy(kAviProcesso);  // hidden before the check's message
  return alloc::BooleanAnswer(
      ChamaServidor(method, {clib::Arg::Ref(stCdFilial), clib::Arg::Ref(stNrOrcamento), edtSeq().Text()}), method);
}

void TfrmAlocaMao::sbtLimpaFornClick(rt::TObject*) {
  if (rt::MessageDlg(msgPadrao().Msg("LIMPA_FORN"), rt::mtConfirmation, {rt::mbYes, rt::mbNo}, 0) != rt::mrYes) return;
  rt::TClientDataSet& grade = cdsForneMao();
  GravaPendentes();  // so that the marks below are the only changes, and can be taken back
  const rt::DataPacket antes = grade.Data();
  const int linha = grade.RecNo();
  {
    alloc::TBulkChange bulk(grade);  // no row is checked or saved on its own; restored on every path
    try {
      for (grade.First(); !grade.Eof(); grade.Next()) {
        if (SemProfissional(grade.FieldByName("CDFORNECED").AsString())) continue;
        grade.Edit();
        for (const char* field : {"CDFORNECED", "NMFORNMOBRA", "HRINITUMOBRA"})
          grade.FieldByName(field).SetAsString("*");
        grade.Post();
      }
      if (grade.ChangeCount() > 0) EnviaAlteracoes(grade);  // one save of every marked row
    } catch (const std::exception& e) {
      // Nothing was cleared: the marks are taken back, so that the grid shows what the
      // server holds and no later save or exit completes the clearing unasked.
      if (alloc::Editando(grade)) grade.Cancel();
      grade.SetData(antes);
      if (linha > 0) grade.SetRecNo(linha);
      bulk.Restore();
      clib::MensErro(alloc::ComArgumentos(msgPadrao().Msg("LIMPA_N_FEITA"), {e.what()}), true);
    }
  }
  sbtVerificarClick(&Control("sbtVerificar"));
}

bool TfrmAlocaMao::SemProfissional(const std::string& cdforneced) {
  // The removal marker counts as no professional: a removed one is never paid.
  return clib::EmptyString(cdforneced) || cdforneced == "*";
}

void TfrmAlocaMao::sbtImprimirClick(rt::TObject*) { CriaRelAlocMObra(); }
