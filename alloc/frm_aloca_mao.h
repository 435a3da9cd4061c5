// TfrmAlocaMao: the labour-allocation screen, a grid screen built from the layout
// resources "TFRMPADRAOGRID" then "TFRMALOCAMAO". This file holds the class and its
// frame (creation, connection, closing); the screen's behaviour lives beside it.
#pragma once

#include <string>

#include "platform/clientlib/base_forms.h"
#include "platform/clientlib/components.h"

class TfrmAlocaMao : public clib::TfrmPadraoGrid {
 public:
  explicit TfrmAlocaMao(rt::TComponent* owner = nullptr) : clib::TfrmPadraoGrid(owner) {}
  std::string ClassName() const override { return "TfrmAlocaMao"; }

  // Base creation, then netAloc connected, cdsForneAux and cdsForneMao created empty
  // from their stored field definitions, stInscricao empty.
  void FormCreate(rt::TObject* Sender) override;
  // boStCriado false, then the base close handling with the same action.
  void FormClose(rt::TObject* Sender, rt::TCloseAction& Action) override;
  // Host and port of the application server, from the session.
  void netAlocBeforeConnect(rt::TObject* Sender);

  clib::TNetConnectionComponent& netAloc() { return Comp<clib::TNetConnectionComponent>("netAloc"); }
  rt::TClientDataSet& cdsForneMao() { return clib::DataSetOf(*this, "cdsForneMao"); }
  rt::TClientDataSet& cdsForneAux() { return clib::DataSetOf(*this, "cdsForneAux"); }
  clib::TMessages& msgPadrao() { return MsgPadrao(); }

  // Private state of the screen (strings, empty at creation).
  std::string stCdFilial;
  std::string stNrOrcamento;
  std::string stInscricao;

 protected:
  std::vector<std::string> LayoutResources() const override { return {"TFRMPADRAOGRID", "TFRMALOCAMAO"}; }
  void PublishHandlers() override;
};
