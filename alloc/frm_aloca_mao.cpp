#include "alloc/frm_aloca_mao.h"

#include "alloc/cli_evt04700.h"
#include "platform/clientlib/session.h"

void TfrmAlocaMao::PublishHandlers() {
  clib::TfrmPadraoGrid::PublishHandlers();
  Publish("netAlocBeforeConnect", &TfrmAlocaMao::netAlocBeforeConnect);
}

void TfrmAlocaMao::FormCreate(rt::TObject* Sender) {
  clib::TfrmPadraoGrid::FormCreate(Sender);
  netAloc().SetConnected(true);  // never raises: a failure shows in the first call
  cdsForneAux().CreateDataSet();
  cdsForneMao().CreateDataSet();
  stInscricao.clear();
}

void TfrmAlocaMao::netAlocBeforeConnect(rt::TObject*) {
  netAloc().SetHost(clib::WebURL());
  netAloc().SetPort(clib::WebPort());
}

void TfrmAlocaMao::FormClose(rt::TObject* Sender, rt::TCloseAction& Action) {
  boStCriado = false;
  clib::TfrmPadraoGrid::FormClose(Sender, Action);
}
