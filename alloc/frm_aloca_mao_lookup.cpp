// Professional lookup and validation: the search lists behind the two ellipsis buttons,
// the professional column's button rule, the checks and defaults on leaving a column,
// and the validation of the professional of the current row (Vd_Fornecedor).
#include "alloc/conversions.h"
#include "alloc/frm_aloca_mao.h"
#include "alloc/screen_support.h"
#include "platform/clientlib/grid_routines.h"
#include "platform/clientlib/routines.h"
#include "platform/clientlib/server_result.h"
#include "platform/clientlib/ui_routines.h"
#include "platform/runtime/abort.h"
#include "platform/runtime/ui/services.h"

namespace {

// The professional fields copied from a server's list into a row, in order (the row's
// NMFORNMOBRA then takes NMRAZSOCFORN).
constexpr const char* kCamposCopiados[] = {"CDFORNECED", "NRINSJURFORN", "IDTPIJURFORN", "NMFANTFORN", "NMRAZSOCFORN"};
// What removing a professional clears, in order, after writing the removal marker.
constexpr const char* kCamposRemovidos[] = {"NRINSJURFORN", "IDTPIJURFORN",   "NMFANTFORN",    "NMRAZSOCFORN",
                                            "NMFORNMOBRA",  "IDTIPOPAGAFORN", "VRPAGOFORNORC", "HRINITUMOBRA"};

}  // namespace

std::string TfrmAlocaMao::Linha(const char* field) { return cdsForneMao().FieldByName(field).AsString(); }

// ---- Search lists -------------------------------------------------------------------

void TfrmAlocaMao::dbgPadraoEditButtonClick(rt::TObject*) {
  const rt::TField* selected = dbgPadrao().SelectedField();
  if (!selected) return;
  if (selected->FieldName() == "NRINSJURFORN") {
    EscolheProfissional();
  } else if (selected->FieldName() == "HRINITUMOBRA") {
    EscolheTurma();
  }
}

void TfrmAlocaMao::EscolheProfissional() {
  rt::TClientDataSet& lista = DataSet("cdsProdForn");
  // With the unit's key the server puts those free at the unit's time first.
  const rt::Variant answer = ChamaServidor("GetProdForn", {Linha("CDPRODUTO"), "", Linha("CDFILIAL"),
                                                           Linha("NRORCAEVENTO"), Linha("NRSEQORCAEVE"),
                                                           Linha("NRTURNO"), Linha("HRINITUMOBRA")});
  alloc::LoadPacket(lista, alloc::ArrayElement(answer, 0, "GetProdForn"), "GetProdForn");
  const std::string title = msgPadrao().Msg("PROF") + "|" + msgPadrao().Msg("N_FORN");
  if (!clib::Pesquisar(DataSource("dtsProdForn"), title, false, true)) return;
  CarregaValorPadrao();

  rt::TClientDataSet& grade = cdsForneMao();
  grade.Edit();  // refused while the budget has payables
  auto copia = [&](const char* into, const rt::TClientDataSet& from, const char* field) {
    grade.FieldByName(into).SetAsString(from.FieldByName(field).AsString());
  };
  for (const char* field : kCamposCopiados) copia(field, lista, field);
  copia("NMFORNMOBRA", lista, "NMRAZSOCFORN");
  EscrevePadrao(true, true);
  copia("IDTIPOPAGAFORN", lista, "IDTIPOPAGAPROF");
}

void TfrmAlocaMao::EscolheTurma() {
  CarregaTurmas();
  if (!clib::Pesquisar(DataSource("dtsTurma"), msgPadrao().Msg("TURMA"), false, true)) return;
  rt::TClientDataSet& grade = cdsForneMao();
  grade.Edit();
  grade.FieldByName("HRINITUMOBRA").SetAsString(DataSet("cdsTurma").FieldByName("HRINITUMOBRA").AsString());
}

void TfrmAlocaMao::CarregaValorPadrao() {
  alloc::LoadPacket(DataSet("cdsVrPagMObra"),
                    ChamaServidor("GetVrPgMObra", {Linha("CDPRODUTO"), Linha("NRORCAEVENTO"), Linha("NRSEQORCAEVE"),
                                                   Linha("CDFILIAL")}),
                    "GetVrPgMObra");
}

void TfrmAlocaMao::EscrevePadrao(bool valor, bool turma) {
  rt::TClientDataSet& padrao = DataSet("cdsVrPagMObra");
  // One answer row per shift of the product: the row of the unit's own shift, else the
  // first (an empty answer gives 0 and no crew time).
  const std::string turno = Linha("NRTURNO");
  padrao.First();
  while (!padrao.Eof() && padrao.FieldByName("NRTURNO").AsString() != turno) padrao.Next();
  if (padrao.Eof()) padrao.First();
  rt::TClientDataSet& grade = cdsForneMao();
  if (valor) grade.FieldByName("VRPAGOFORNORC").SetAsFloat(padrao.FieldByName("VRPAGOMOBRA").AsFloat());
  if (turma) grade.FieldByName("HRINITUMOBRA").SetAsString(padrao.FieldByName("HRINITUMOBRA").AsString());
  stFornComPadrao = grade.FieldByName("CDFORNECED").AsString();
}

void TfrmAlocaMao::CarregaTurmas() {
  alloc::LoadPacket(DataSet("cdsTurma"),
                    ChamaServidor("GetTurma", {Linha("CDFILIAL"), Linha("NRORCAEVENTO"), Linha("NRSEQORCAEVE"),
                                               Linha("NRTURNO"), Linha("CDPRODUTO")}),
                    "GetTurma");
}

// ---- Columns ------------------------------------------------------------------------

void TfrmAlocaMao::dbgPadraoColEnter(rt::TObject*) {
  const int col = clib::IndiceCol(dbgPadrao(), "NRINSJURFORN");
  if (col < 0) return;
  rt::TClientDataSet& contas = cdsNfRelacOrc();
  const bool sem_contas = !contas.Active() || contas.IsEmpty();
  dbgPadrao().Columns()[col].SetButtonStyle(sem_contas ? rt::cbsEllipsis : rt::cbsNone);
}

void TfrmAlocaMao::dbgPadraoColExit(rt::TObject*) {
  rt::TClientDataSet& grade = cdsForneMao();
  if (!alloc::Editando(grade)) return;
  const rt::TField* leaving = dbgPadrao().SelectedField();
  if (!leaving) return;
  const std::string name = leaving->FieldName();
  if (name == "NRINSJURFORN") {
    Vd_Fornecedor();
    if (clib::EmptyString(Linha("NRINSJURFORN"))) return;
    // The item's defaults only for a new professional, or where the clerk left a blank:
    // an amount or crew time typed for this professional is never overwritten.
    const bool novo = Linha("CDFORNECED") != stFornComPadrao;
    const bool sem_valor = grade.FieldByName("VRPAGOFORNORC").IsNull();
    const bool sem_turma = clib::EmptyString(Linha("HRINITUMOBRA"));
    if (!novo && !sem_valor && !sem_turma) return;
    CarregaValorPadrao();
    EscrevePadrao(novo || sem_valor, novo || sem_turma);
  } else if (name == "IDTIPOPAGAFORN") {
    Vd_VerificaPgto();
  } else if (name == "HRINITUMOBRA") {
    grade.FieldByName("HRINITUMOBRA").SetAsString(alloc::Ajusta_Hora(Linha("HRINITUMOBRA")));
  }
}

// ---- Validation of the professional -------------------------------------------------

void TfrmAlocaMao::Vd_Fornecedor() {
  rt::TClientDataSet& grade = cdsForneMao();
  if (!alloc::Editando(grade)) return;
  rt::TField& registro = grade.FieldByName("NRINSJURFORN");
  try {
    ValidaProfissional(registro);
  } catch (...) {
    stInscricao.clear();
    alloc::FocusFieldAfterFailure(registro);
    throw;
  }
  stInscricao.clear();
}

void TfrmAlocaMao::ValidaProfissional(rt::TField& registro) {
  rt::TClientDataSet& grade = cdsForneMao();
  if (clib::EmptyString(registro.AsString())) {
    if (registro.OldValue().IsNull()) clib::MensErro(msgPadrao().Msg("FORN_N_INF"), true);
    if (rt::MessageDlg(msgPadrao().Msg("DEL_FORN"), rt::mtConfirmation, {rt::mbYes, rt::mbNo}, 0) == rt::mrNo)
      rt::Abort();
  }
  // Blanks count as empty here as they do for the question above: a registration of
  // spaces removes the professional, it never asks the server with an empty key.
  std::string bare = alloc::LimpaMascara(registro.AsString());
  if (clib::EmptyString(bare)) {
    RemoveProfissional();
    return;
  }
  const std::string prefix = clib::Ajusta_Inscricao(bare);
  stInscricao = prefix + bare;

  rt::TClientDataSet& achado = DataSet("cdsVdForn");
  rt::TClientDataSet& alocado = DataSet("cdsVdProf");
  const rt::Variant answer = ChamaServidor(
      "GetProdForn", {Linha("CDPRODUTO"), clib::Arg::Ref(stInscricao), Linha("CDFILIAL"), edtNrOrcamento().Text(),
                      Linha("NRSEQORCAEVE"), Linha("NRTURNO"), Linha("HRINITUMOBRA")});
  alloc::LoadPacket(achado, alloc::ArrayElement(answer, 0, "GetProdForn"), "GetProdForn");
  alloc::LoadPacket(alocado, alloc::ArrayElement(answer, 1, "GetProdForn"), "GetProdForn");

  const bool mudou = registro.NewValue() != registro.OldValue();
  if (mudou && achado.IsEmpty()) clib::MensErro(msgPadrao().Msg("FORN_N_CAD"), true);
  if (mudou) {
    const std::string produto = Linha("CDPRODUTO");
    for (alocado.First(); !alocado.Eof(); alocado.Next())
      if (alocado.FieldByName("CDPRODUTO").AsString() == produto) clib::MensErro(msgPadrao().Msg("PROF_CAD"), true);
    // Booked at an overlapping time under another product: the professional cannot be
    // at both; the message names where.
    alocado.First();
    if (!alocado.Eof()) {
      auto campo = [&](const char* name) { return alocado.FieldByName(name).AsString(); };
      clib::MensErro(alloc::ComArgumentos(msgPadrao().Msg("PROF_OCUPADO"),
                                          {alloc::NomeOrcamento(campo("NRORCAEVENTO"), campo("NRSEQORCAEVE")),
                                           campo("NMPRODUTO"), campo("DSINICIO")}),
                     true);
    }
  }
  // Unchanged registration and no answer: the row keeps the professional it holds (the
  // server checks it again when the row is saved).
  if (achado.IsEmpty()) return;
  achado.First();
  for (const char* field : kCamposCopiados) grade.FieldByName(field).SetAsString(achado.FieldByName(field).AsString());
  grade.FieldByName("NMFORNMOBRA").SetAsString(achado.FieldByName("NMRAZSOCFORN").AsString());
}

void TfrmAlocaMao::RemoveProfissional() {
  rt::TClientDataSet& grade = cdsForneMao();
  grade.FieldByName("CDFORNECED").SetAsString("*");
  for (const char* field : kCamposRemovidos) grade.FieldByName(field).Clear();
}
