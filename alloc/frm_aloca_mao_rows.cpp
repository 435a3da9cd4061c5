// Row editing and saving: no row is ever added, no row is edited once the budget has
// payables, a row is checked before it is posted (professional, payment type, crew time
// against the labour item's list) and saved to the server at once; the hours column;
// the key filter per column.
#include <bit>
#include <cstdint>
#include <optional>
#include <string>

#include "alloc/conversions.h"
#include "alloc/frm_aloca_mao.h"
#include "alloc/screen_support.h"
#include "platform/clientlib/routines.h"
#include "platform/clientlib/server_result.h"
#include "platform/runtime/abort.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/services.h"

namespace {

constexpr int kAviGravacao = 6;  // busy animation of a save

// The keys a registration column takes once the row has a professional.
bool TeclaDeRegistro(char c) {
  return alloc::IsDigit(c) || c == rt::Input::kBackspace || c == rt::Input::kTab || c == rt::Input::kReturn;
}

// The hours as text; every row of a load has the event's hours, so the last text is
// kept for the same hours (a load of 10,000 rows formats them once, not 10,000 times).
const std::string& TextoHoras(double horas) {
  thread_local std::optional<std::uint64_t> ultimas;  // the bits of the hours formatted last
  thread_local std::string texto;
  if (ultimas != std::bit_cast<std::uint64_t>(horas)) {
    texto = clib::HoursText(horas);
    ultimas = std::bit_cast<std::uint64_t>(horas);
  }
  return texto;
}

}  // namespace

// Rows come only from the load: every insert or append is refused without a message.
void TfrmAlocaMao::cdsForneMaoBeforeInsert(rt::TClientDataSet&) { rt::Abort(); }

void TfrmAlocaMao::cdsForneMaoBeforeEdit(rt::TClientDataSet& DataSet) {
  rt::TClientDataSet& contas = cdsNfRelacOrc();
  if (contas.Active() && !contas.IsEmpty()) clib::MensErro(msgPadrao().Msg("EXISTE_CONTA"), true);
  stFornComPadrao = DataSet.FieldByName("CDFORNECED").AsString();
}

// Rows come only from the load and leave only with it: a delete, from the navigator or
// any other path, is refused without a message, as an insert is. A professional is
// removed by clearing the registration.
void TfrmAlocaMao::cdsForneMaoBeforeDelete(rt::TClientDataSet&) { rt::Abort(); }

void TfrmAlocaMao::cdsForneMaoBeforePost(rt::TClientDataSet& DataSet) {
  Vd_Fornecedor();
  Vd_VerificaPgto();
  rt::TField& hora = DataSet.FieldByName("HRINITUMOBRA");
  const rt::TField* selected = dbgPadrao().SelectedField();
  if (selected && selected->FieldName() == "HRINITUMOBRA") hora.SetAsString(alloc::Ajusta_Hora(hora.AsString()));
  if (clib::EmptyString(hora.AsString())) return;
  CarregaTurmas();
  rt::TClientDataSet& turmas = this->DataSet("cdsTurma");
  int iguais = 0;
  for (turmas.First(); !turmas.Eof(); turmas.Next())
    if (turmas.FieldByName("HRINITUMOBRA").AsString() == hora.AsString()) ++iguais;
  if (iguais == 0) clib::MensErro(msgPadrao().Msg("HRTURMA_N_CAD"), true);
}

void TfrmAlocaMao::cdsForneMaoAfterPost(rt::TClientDataSet& DataSet) {
  if (DataSet.ChangeCount() <= 0) return;
  try {
    EnviaAlteracoes(DataSet);
  } catch (const clib::EServerError& e) {
    // The server answered and refused: asking it again gives the same answer, so the
    // clerk is offered the way out. A failure to reach it goes on as it is (kept, sent
    // again with the next save).
    if (e.Code() != 0) OfereceDescarte(e.what());
    throw;
  }
}

void TfrmAlocaMao::EnviaAlteracoes(rt::TClientDataSet& DataSet) {
  alloc::TBusyScope busy(kAviGravacao);
  ChamaServidor("SetForneMao", {rt::Variant(DataSet.Delta())});
  DataSet.MergeChangeLog();  // only after the server applied it: a failed save stays in the log
}

void TfrmAlocaMao::OfereceDescarte(const std::string& recusa) {
  const std::string question = recusa + "\n\n" + msgPadrao().Msg("DESCARTA_RECUSA");
  if (rt::MessageDlg(question, rt::mtConfirmation, {rt::mbYes, rt::mbNo}, 0) == rt::mrYes) RecarregaNaLinha();
  rt::Abort();  // the clerk has read the refusal in the question
}

void TfrmAlocaMao::GravaPendentes() {
  rt::TClientDataSet& grade = cdsForneMao();
  if (!grade.Active()) return;
  if (alloc::Editando(grade)) {
    grade.UpdateRecord();   // typing still in the cell's editor counts
    grade.CheckBrowseMode();  // a changed row posted through its checks (the post saves), an untouched one dropped
  }
  if (grade.ChangeCount() > 0) cdsForneMaoAfterPost(grade);
}

void TfrmAlocaMao::cdsForneMaoCalcFields(rt::TClientDataSet& DataSet) {
  DataSet.FieldByName("QTHORAS").SetAsString(TextoHoras(DataSet.FieldByName("QTHREVENTO").AsFloat()));
}

void TfrmAlocaMao::dbgPadraoKeyPress(rt::TObject* Sender, char& Key) {
  clib::TfrmPadraoGrid::dbgPadraoKeyPress(Sender, Key);
  auto coluna = [this](const char* name) {
    const rt::TField* field = dbgPadrao().SelectedField();
    return field && field->FieldName() == name;
  };
  if (coluna("NRINSJURFORN") && !clib::EmptyString(Linha("NRINSJURFORN")) && !TeclaDeRegistro(Key)) Key = 0;
  if (coluna("VRPAGOFORNORC")) Vd_Virgula(dbgPadrao(), "VRPAGOFORNORC", Key);
  if (coluna("IDTIPOPAGAFORN")) Key = 0;  // the payment type comes only from the pick list
}
