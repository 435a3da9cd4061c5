// Grid display and input conversions: the payment-type texts both ways, the masked crew
// times and registrations, the key rule of the amount column, the payment check of a
// row, and the owner drawing of every cell of the grid.
#include "alloc/conversions.h"
#include "alloc/frm_aloca_mao.h"
#include "alloc/screen_support.h"
#include "platform/clientlib/grid_routines.h"
#include "platform/clientlib/routines.h"
#include "platform/clientlib/server_result.h"
#include "platform/clientlib/ui_routines.h"
#include "platform/runtime/abort.h"
#include "platform/runtime/edit_mask.h"
#include "platform/runtime/locale_format.h"

namespace {

constexpr double kMaiorValor = 999999999;  // the largest amount the column takes

// The registration of a dataset's current row through the mask of its type.
std::string RegistroMascarado(const rt::TClientDataSet& ds) {
  return rt::FormatMaskText(clib::PictPess(ds.FieldByName("IDTPIJURFORN").AsString()),
                            ds.FieldByName("NRINSJURFORN").AsString());
}

}  // namespace

// ---- Payment type -------------------------------------------------------------------

void TfrmAlocaMao::cdsForneMaoIDTIPOPAGAFORNGetText(rt::TField& Sender, std::string& Text, bool) {
  const std::string code = Sender.AsString();
  if (clib::EmptyString(code))
    Text.clear();
  else
    Text = msgPadrao().Msg(code == "FOLHAPAGA" ? "FOLHA_PAGA" : "CONTA_PAGAR");
}

void TfrmAlocaMao::cdsForneMaoIDTIPOPAGAFORNSetText(rt::TField& Sender, const std::string& Text) {
  if (Text == msgPadrao().Msg("FOLHA_PAGA"))
    Sender.SetAsString("FOLHAPAGA");
  else if (Text == msgPadrao().Msg("CONTA_PAGAR"))
    Sender.SetAsString("CONTAPAGAR");
  // any other text leaves the code as it was
}

// ---- Crew time and registration -----------------------------------------------------

void TfrmAlocaMao::cdsForneMaoHRINITUMOBRAGetText(rt::TField& Sender, std::string& Text, bool) {
  Text = alloc::MascaraHora(Sender.AsString());
}

void TfrmAlocaMao::cdsTurmaHRINITUMOBRAGetText(rt::TField& Sender, std::string& Text, bool) {
  Text = alloc::MascaraHora(Sender.AsString());
}

void TfrmAlocaMao::cdsForneMaoNRINSJURFORNGetText(rt::TField& Sender, std::string& Text, bool) {
  Text = RegistroMascarado(Sender.DataSet());
}

void TfrmAlocaMao::cdsProdFornNRINSJURFORNGetText(rt::TField& Sender, std::string& Text, bool) {
  Text = RegistroMascarado(Sender.DataSet());
}

void TfrmAlocaMao::cdsProdFornDSALOCACAOGetText(rt::TField& Sender, std::string& Text, bool) {
  // The server's "" (free at the unit's time), "*" (booked in a budget the operator may
  // not see) or where the professional is booked ("15/01 GARÇOM 19:00").
  const std::string onde = Sender.AsString();
  if (onde.empty())
    Text = msgPadrao().Msg("LIVRE");
  else if (onde == "*")
    Text = msgPadrao().Msg("ALOCADO_OUTRO");
  else
    Text = alloc::ComArgumentos(msgPadrao().Msg("ALOCADO"), {onde});
}

// ---- Amount key rule and payment check ----------------------------------------------

void TfrmAlocaMao::Vd_Virgula(rt::TDBGrid& grid, const std::string& field, char& Key) {
  const rt::TField* selected = grid.SelectedField();
  if (selected && selected->FieldName() == field && Key == ',') {
    // The text being typed, so that "12" then "," gives "12," in a cell that was empty.
    const std::string text = clib::GridText(grid, field, true);
    if (text.empty() || text.find(',') != std::string::npos) {
      Key = 0;
      return;
    }
  }
  if (!alloc::IsDigit(Key)) return;
  // A conversion failure (a "-" after a digit) reaches the user; the key is not taken.
  if (rt::StrToFloat(clib::GridText(grid, field, true) + Key) > kMaiorValor) Key = 0;
}

void TfrmAlocaMao::Vd_VerificaPgto() {
  rt::TClientDataSet& grade = cdsForneMao();
  if (!alloc::Editando(grade)) return;
  if (!clib::EmptyString(clib::GridText(dbgPadrao(), "IDTIPOPAGAFORN", false))) return;
  if (clib::EmptyString(grade.FieldByName("NRINSJURFORN").AsString())) return;
  clib::MensErro(msgPadrao().Msg("pgto_Inf"), false);
  grade.FieldByName("IDTIPOPAGAFORN").FocusControl();
  rt::Abort();
}

// ---- Drawing ------------------------------------------------------------------------

void TfrmAlocaMao::dbgPadraoDrawColumnCell(rt::TObject*, const rt::TRect& Rect, int DataCol, rt::TColumn& Column,
                                           rt::TGridDrawState State) {
  try {
    rt::TCanvas& canvas = dbgPadrao().Canvas();
    rt::TClientDataSet& grade = cdsForneMao();
    canvas.Brush.Color = rt::clInfoBk;
    canvas.FillRect(Rect);
    if (grade.FieldByName("IDCONTAGERADA").AsString() == "S") canvas.Font.Color = rt::clGreen;
    if (State.selected) {
      canvas.Brush.Color = rt::clHighlight;
      canvas.FillRect(Rect);
      canvas.Font.Color = rt::clCaptionText;
    }
    const rt::TField* field = Column.Field();
    const std::string& name = Column.FieldName();
    std::string text = field ? field->EditText() : "";
    int x = Rect.Left + 2;
    if (name == "NRFORNE" || name == "QTHORAS" || name == "HRINITUMOBRA") {
      x = Rect.Right - canvas.TextWidth(text) - 2;
    } else if (name == "NRINSJURFORN") {
      text = RegistroMascarado(grade);
    }
    canvas.TextOut(x, Rect.Top + 2, text);
    if (State.focused) canvas.DrawFocusRect(Rect);
    if (name == "VRPAGOFORNORC" && DataCol == clib::IndiceCol(dbgPadrao(), "VRPAGOFORNORC")) {
      const rt::TField& valor = grade.FieldByName("VRPAGOFORNORC");
      if (!valor.IsNull()) {
        const std::string amount = rt::FormatFloat("#,##0.00", valor.AsFloat());
        canvas.TextRect(Rect, Rect.Right - canvas.TextWidth(amount) - 3, Rect.Top + 3, amount);
      }
    }
  } catch (...) {
    clib::DeactiveShowAvi();
    throw;
  }
}
