// TfrmRelAlocMObra: the allocation report form, a report-parameter screen built from the
// layout resources "TFRMDADOSGERREL" then "TFRMRELALOCMOBRA". It takes the sequence range
// from the allocation screen at creation and hands branch, budget, range and the copy
// choice to the report query.
#pragma once

#include <string>

#include "platform/clientlib/base_forms.h"

class TfrmRelAlocMObra : public clib::TfrmDadosGerRel {
 public:
  explicit TfrmRelAlocMObra(rt::TComponent* owner = nullptr) : clib::TfrmDadosGerRel(owner) {}
  std::string ClassName() const override { return "TfrmRelAlocMObra"; }

  // Base creation; then the allocation screen's sequence, when not blank, into both
  // range boxes (with no live allocation screen both stay empty).
  void FormCreate(rt::TObject* Sender) override;
  // boRelCriado false, then the base close handling.
  void FormClose(rt::TObject* Sender, rt::TCloseAction& Action) override;
  // Checked: range boxes and their labels disabled; unchecked: enabled.
  void ckbMostrarCopiaClick(rt::TObject* Sender);
  // Sets the declared ones of P_CDFILIAL, P_NRORCAEVENTO, P_NRSEQDE, P_NRSEQATE,
  // P_IDRESULTANTE, in that order.
  void rpddPadraoBeforeGetQueryParams(rt::TObject* Sender, clib::TReportParams& Params);

  rt::TEdit& edtSeqDe() { return Comp<rt::TEdit>("edtSeqDe"); }
  rt::TEdit& edtSeqAte() { return Comp<rt::TEdit>("edtSeqAte"); }
  rt::TCheckBox& ckbMostrarCopia() { return Comp<rt::TCheckBox>("ckbMostrarCopia"); }

 protected:
  std::vector<std::string> LayoutResources() const override { return {"TFRMDADOSGERREL", "TFRMRELALOCMOBRA"}; }
  void PublishHandlers() override;
};
