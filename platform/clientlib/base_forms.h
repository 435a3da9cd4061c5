// The base screens of the shared forms library.
//
// TfrmPadraoGrid, the standard grid screen, built from the layout resource
// "TFRMPADRAOGRID": tool bar panMenu with the five standard buttons sbtIncluir (1),
// sbtAlterar (2), sbtExcluir (3), sbtPesquisar (4), sbtVerificar (5) and sbtAjuda,
// sbtImprimir, sbtFechar; label lblCodTela; pgcPadrao / tshPadrao / panDbgPadrao /
// scbFolhaDados holding the grid dbgPadrao; panNavigator with dbnPadrao; the main menu
// mnuMenu with mnuOperacao (mnuListagem, mnuConfigImpressora) and mnuManutencao (one
// item per standard button); data source dtsPadrao; message tables msgPadrao and
// msgMensagensPadroes.
//
// TfrmDadosGerRel, the report-parameter screen, built from "TFRMDADOSGERREL":
// lblCodTela; panMenu with lblCodRel and the buttons sbtVisualizar, sbtImprimir,
// sbtFechar; group box grbDadosRel holding panRelat with the report-name list
// cbbReportNames; the report dialog rpddPadrao, which asks the application server for
// the reports through the connection netRelatorio.
//
// A derived screen lists its own layout after its base's (LayoutResources); its layout
// holds only what it adds and the properties it overrides, by component name.
#pragma once

#include <string>
#include <vector>

#include "platform/clientlib/components.h"
#include "platform/clientlib/report_dialog.h"
#include "platform/runtime/ui/forms.h"

namespace clib {

class TfrmPadraoGrid : public rt::TForm {
 public:
  explicit TfrmPadraoGrid(rt::TComponent* owner = nullptr) : rt::TForm(owner) {}
  std::string ClassName() const override { return "TfrmPadraoGrid"; }

  // Base handlers; a screen that overrides one calls it at the point its design gives.
  // Nothing to prepare beyond the layout: the standard buttons take the data source's state.
  virtual void FormCreate(rt::TObject* Sender);
  // The screen is destroyed once closed (Action = caFree): the next opening creates it anew.
  virtual void FormClose(rt::TObject* Sender, rt::TCloseAction& Action);
  // Drops the Return key, so that Enter never reaches a cell editor as a character.
  virtual void dbgPadraoKeyPress(rt::TObject* Sender, char& Key);
  // Insert, delete and search are offered only while no row is being edited.
  virtual void dtsPadraoStateChange(rt::TObject* Sender);
  // Puts the grid's dataset in edit (its BeforeEdit may refuse) when it has a row.
  virtual void sbtAlterarClick(rt::TObject* Sender);
  // Appends a row to the grid's dataset (its BeforeInsert may refuse).
  virtual void sbtIncluirClick(rt::TObject* Sender);
  // Asks "Excl" of the standard messages; on Yes deletes the current row.
  virtual void sbtExcluirClick(rt::TObject* Sender);
  // Search list over the grid's rows (title: the form's caption).
  virtual void sbtPesquisarClick(rt::TObject* Sender);
  // Posts the row being edited.
  virtual void sbtVerificarClick(rt::TObject* Sender);
  void sbtFecharClick(rt::TObject* Sender);

  rt::TDataSource& DataSourcePadrao();
  TMessages& MsgPadrao();

 protected:
  std::vector<std::string> LayoutResources() const override { return {"TFRMPADRAOGRID"}; }
  void PublishHandlers() override;

 private:
  void SyncStandardButtons();
};

class TfrmDadosGerRel : public rt::TForm {
 public:
  explicit TfrmDadosGerRel(rt::TComponent* owner = nullptr) : rt::TForm(owner) {}
  std::string ClassName() const override { return "TfrmDadosGerRel"; }

  // Fills the report-name list from the report dialog's reports (asked of the server)
  // and selects the first. A server that refuses or cannot be reached is shown as an
  // error and leaves the list empty; printing asks again.
  virtual void FormCreate(rt::TObject* Sender);
  // The screen is destroyed once closed (Action = caFree).
  virtual void FormClose(rt::TObject* Sender, rt::TCloseAction& Action);
  // Runs the report chosen in cbbReportNames through rpddPadrao (preview and print
  // alike hand the run, rows and layout, to the host's report data provider, whose
  // preview prints and saves).
  void sbtImprimirClick(rt::TObject* Sender);
  void sbtFecharClick(rt::TObject* Sender);
  // The report connection reaches the session's application server.
  void netRelatorioBeforeConnect(rt::TObject* Sender);

  TReportDesignerDialog& ReportDialog();
  TNetConnectionComponent& netRelatorio();

 protected:
  std::vector<std::string> LayoutResources() const override { return {"TFRMDADOSGERREL"}; }
  void PublishHandlers() override;

 private:
  // Asks for the report names; true when the list holds any.
  bool FillReportNames();
};

// Registers the two base screens' classes and layout resources (once).
void RegisterBaseForms();

}  // namespace clib
