#include "report/frm_rel_aloc_mobra.h"

#include "alloc/cli_evt04700.h"
#include "alloc/frm_aloca_mao.h"
#include "platform/clientlib/routines.h"
#include "report/cli_evt04701.h"

namespace {

// The allocation screen when it is live; nullptr once it was closed (frmAlocaMao then
// still holds the last, destroyed, instance and must not be read).
TfrmAlocaMao* LiveAllocationScreen() { return boStCriado ? frmAlocaMao : nullptr; }

}  // namespace

void TfrmRelAlocMObra::PublishHandlers() {
  clib::TfrmDadosGerRel::PublishHandlers();
  Publish("FormCreate", &TfrmRelAlocMObra::FormCreate);
  Publish("FormClose", &TfrmRelAlocMObra::FormClose);
  Publish("ckbMostrarCopiaClick", &TfrmRelAlocMObra::ckbMostrarCopiaClick);
  Publish("rpddPadraoBeforeGetQueryParams", &TfrmRelAlocMObra::rpddPadraoBeforeGetQueryParams);
}

void TfrmRelAlocMObra::FormCreate(rt::TObject* Sender) {
  clib::TfrmDadosGerRel::FormCreate(Sender);
  TfrmAlocaMao* aloc = LiveAllocationScreen();
  auto* seq = aloc ? aloc->Find<rt::TEdit>("edtSeq") : nullptr;
  if (seq && !clib::EmptyString(seq->Text())) {
    edtSeqDe().SetText(seq->Text());
    edtSeqAte().SetText(seq->Text());
  }
}

void TfrmRelAlocMObra::FormClose(rt::TObject* Sender, rt::TCloseAction& Action) {
  Cli_evt04701::boRelCriado = false;
  clib::TfrmDadosGerRel::FormClose(Sender, Action);
}

void TfrmRelAlocMObra::ckbMostrarCopiaClick(rt::TObject*) {
  bool enabled = !ckbMostrarCopia().Checked();
  for (const char* name : {"edtSeqDe", "edtSeqAte", "lblDe", "lblAte"}) Comp<rt::TControl>(name).SetEnabled(enabled);
}

void TfrmRelAlocMObra::rpddPadraoBeforeGetQueryParams(rt::TObject*, clib::TReportParams& Params) {
  // Branch and budget come from the header the allocation screen loaded. With no live
  // screen, or no budget loaded there, they pass as empty texts: the query then finds
  // no budget rather than reading a destroyed screen.
  std::string filial, orcamento;
  if (TfrmAlocaMao* aloc = LiveAllocationScreen()) {
    if (auto* header = aloc->Find<clib::TClientDataSetComponent>("cdsOrcaEvento")) {
      rt::TClientDataSet& ds = header->DataSet();
      if (ds.Active() && !ds.IsEmpty()) {
        filial = ds.FieldByName("CDFILIAL").AsString();
        orcamento = ds.FieldByName("NRORCAEVENTO").AsString();
      }
    }
  }
  const std::pair<const char*, std::string> values[] = {
      {"P_CDFILIAL", filial},
      {"P_NRORCAEVENTO", orcamento},
      {"P_NRSEQDE", edtSeqDe().Text()},
      {"P_NRSEQATE", edtSeqAte().Text()},
      {"P_IDRESULTANTE", ckbMostrarCopia().Checked() ? "S" : "N"},
  };
  for (const auto& [name, value] : values)
    if (clib::ExistParam(Params, name)) Params.ParamByName(name).SetAsString(value);
}
