// The handlers of row editing, grid display and the accounts payable. Inserting is
// refused and the hours column is computed here; the others keep the framework's
// default behaviour until the professional lookup, the row saving, the display
// conversions and the payables are built on them.
#include <cmath>
#include <string>

#include "alloc/frm_aloca_mao.h"
#include "platform/clientlib/routines.h"
#include "platform/runtime/abort.h"

namespace {

// "hh:mm" of an event duration in decimal hours, rounded to 2 decimals first (5.5 ->
// "05:30"); zero, null and negative durations give "00:00". Minutes that are not whole
// are rounded to the nearest minute (10.1 -> "10:06", 2.33 -> "02:20").
std::string HorasTexto(double duracao) {
  const double r = clib::RoundDec(duracao, 2);
  const double inteiro = std::trunc(r);
  const std::string horas = inteiro >= 1 ? clib::Ajusta(std::to_string(static_cast<long long>(inteiro)), 2) : "00";
  const double fracao = r - inteiro;
  std::string minutos = "00";
  if (fracao > 0) {
    long long m = std::llround(fracao * 60);  // at most 59: r has two decimals
    minutos = (m < 10 ? "0" : "") + std::to_string(m);
  }
  return horas + ":" + minutos;
}

}  // namespace

// Rows come only from the load: every insert or append is refused without a message.
void TfrmAlocaMao::cdsForneMaoBeforeInsert(rt::TClientDataSet&) { rt::Abort(); }

// The check before editing (payables present) comes with the row editing.
void TfrmAlocaMao::cdsForneMaoBeforeEdit(rt::TClientDataSet&) {}

// The checks of a row before it is posted come with the row editing.
void TfrmAlocaMao::cdsForneMaoBeforePost(rt::TClientDataSet&) {}

// The save of a posted row (SetForneMao) comes with the row editing.
void TfrmAlocaMao::cdsForneMaoAfterPost(rt::TClientDataSet&) {}

void TfrmAlocaMao::cdsForneMaoCalcFields(rt::TClientDataSet& DataSet) {
  DataSet.FieldByName("QTHORAS").SetAsString(HorasTexto(DataSet.FieldByName("QTHREVENTO").AsFloat()));
}

// The professional column's ellipsis rule comes with the professional lookup.
void TfrmAlocaMao::dbgPadraoColEnter(rt::TObject*) {}

// The checks and defaults on leaving a column come with the professional lookup.
void TfrmAlocaMao::dbgPadraoColExit(rt::TObject*) {}

// The search lists of the professional and crew-time columns come with the professional lookup.
void TfrmAlocaMao::dbgPadraoEditButtonClick(rt::TObject*) {}

// The key filter per column comes with the row editing; until then only the inherited one.
void TfrmAlocaMao::dbgPadraoKeyPress(rt::TObject* Sender, char& Key) {
  clib::TfrmPadraoGrid::dbgPadraoKeyPress(Sender, Key);
}

// The colours and formats of the cells come with the grid display; until then the grid's own drawing.
void TfrmAlocaMao::dbgPadraoDrawColumnCell(rt::TObject*, const rt::TRect& Rect, int DataCol, rt::TColumn& Column,
                                           rt::TGridDrawState State) {
  dbgPadrao().DefaultDrawColumnCell(Rect, DataCol, Column, State);
}

// The masked registration comes with the professional lookup; until then the stored text.
void TfrmAlocaMao::cdsForneMaoNRINSJURFORNGetText(rt::TField& Sender, std::string& Text, bool) {
  Text = Sender.AsString();
}

// The masked registration comes with the professional lookup; until then the stored text.
void TfrmAlocaMao::cdsProdFornNRINSJURFORNGetText(rt::TField& Sender, std::string& Text, bool) {
  Text = Sender.AsString();
}

// The display text of the payment code comes with the grid display; until then the code.
void TfrmAlocaMao::cdsForneMaoIDTIPOPAGAFORNGetText(rt::TField& Sender, std::string& Text, bool) {
  Text = Sender.AsString();
}

// The code of a payment display text comes with the grid display; until then the text as typed.
void TfrmAlocaMao::cdsForneMaoIDTIPOPAGAFORNSetText(rt::TField& Sender, const std::string& Text) {
  Sender.SetAsString(Text);
}

// The masked crew time comes with the grid display; until then the stored text.
void TfrmAlocaMao::cdsForneMaoHRINITUMOBRAGetText(rt::TField& Sender, std::string& Text, bool) {
  Text = Sender.AsString();
}

// The masked crew time comes with the grid display; until then the stored text.
void TfrmAlocaMao::cdsTurmaHRINITUMOBRAGetText(rt::TField& Sender, std::string& Text, bool) {
  Text = Sender.AsString();
}

// Generation of the accounts payable comes with the payables work.
void TfrmAlocaMao::sbtGeraContaClick(rt::TObject*) {}

// Cancellation of the accounts payable comes with the payables work.
void TfrmAlocaMao::sbtCancelaContaClick(rt::TObject*) {}

// Clearing every professional of the budget comes with the payables work.
void TfrmAlocaMao::sbtLimpaFornClick(rt::TObject*) {}

// Opening the allocation report comes with the payables work.
void TfrmAlocaMao::sbtImprimirClick(rt::TObject*) {}
