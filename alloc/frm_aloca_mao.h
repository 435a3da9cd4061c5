// TfrmAlocaMao: the labour-allocation screen, a grid screen built from the layout
// resources "TFRMPADRAOGRID" then "TFRMALOCAMAO". This file holds the class; its
// behaviour is split by concern beside it:
//   frm_aloca_mao.cpp            creation, connection, closing, handler table
//   frm_aloca_mao_selection.cpp  budget selection in the filter panel
//   frm_aloca_mao_load.cpp       loading the grid, button states, grid/panel upkeep
//   frm_aloca_mao_display.cpp    display and input conversions, the cell drawing
//   frm_aloca_mao_lookup.cpp     professional lookup and validation, column exit
//   frm_aloca_mao_rows.cpp       row editing and saving, the key filter
//   frm_aloca_mao_payables.cpp   accounts payable, clearing, print
#pragma once

#include <string>
#include <vector>

#include "platform/clientlib/base_forms.h"
#include "platform/clientlib/components.h"
#include "platform/clientlib/net/change_listener.h"
#include "platform/runtime/ui/dbgrid.h"
#include "platform/runtime/variant.h"

namespace alloc {
class TBusyScope;
}

class TfrmAlocaMao : public clib::TfrmPadraoGrid {
 public:
  explicit TfrmAlocaMao(rt::TComponent* owner = nullptr) : clib::TfrmPadraoGrid(owner) {}
  ~TfrmAlocaMao() override { DeixaDeOuvir(); }  // nothing heard reaches a destroyed screen
  std::string ClassName() const override { return "TfrmAlocaMao"; }

  // ---- Creation and closing ---------------------------------------------------------
  // Base creation, then netAloc connected, cdsForneAux and cdsForneMao created empty
  // from their stored field definitions, stInscricao empty.
  void FormCreate(rt::TObject* Sender) override;
  // boStCriado false, then the base close handling with the same action.
  void FormClose(rt::TObject* Sender, rt::TCloseAction& Action) override;
  // Closing saves what is pending first; when that fails the clerk is asked whether to
  // close anyway, discarding it.
  void FormCloseQuery(rt::TObject* Sender, bool& CanClose);
  // Host and port of the application server, from the session.
  void netAlocBeforeConnect(rt::TObject* Sender);

  // ---- Budget selection (filter panel) ------------------------------------------------
  // Keeps letters, digits and backspace; the box shows letters in upper case.
  void edtNrOrcamentoKeyPress(rt::TObject* Sender, char& Key);
  // Keeps digits and backspace.
  void edtSeqKeyPress(rt::TObject* Sender, char& Key);
  // Any change of the number empties the sequence and the budget in hand.
  void edtNrOrcamentoChange(rt::TObject* Sender);
  // Checks a non-empty number (Vd_NrOrca(false)), then presets the sequence "00".
  void edtNrOrcamentoExit(rt::TObject* Sender);
  // Search list of the branch's budgets; a chosen row fills the number and the budget in hand.
  void btnNrOrcamentoClick(rt::TObject* Sender);
  // Discards the budget on screen: grid, header and labour items emptied and closed.
  void panFiltroEnter(rt::TObject* Sender);
  // Validates number and sequence, loads the budget, sets the buttons.
  void panFiltroExit(rt::TObject* Sender);
  // The budget number: padded to 10 and known to the server for the user's branch.
  // Every failure focuses edtNrOrcamento and goes on unchanged.
  void Vd_NrOrca(bool required);
  // The sequence: padded to 2 and known to the server for the number.
  void Vd_Sequencial();

  // ---- Loading the grid and keeping grid, buttons and panel in step -------------------
  // Loads the budget of edtNrOrcamento / edtSeq into the four datasets and builds the
  // rows of cdsForneMao (one per unit of labour). Sender is not read.
  void sbtVerificarClick(rt::TObject* Sender) override;
  // Enabled state of the tool-bar buttons and menu items (eleven steps, in order).
  void HabilitaBotoes();
  // Inherited handler, HabilitaBotoes, filter panel enabled only while browsing.
  void dtsPadraoStateChange(rt::TObject* Sender) override;
  // Entering the grid sets the buttons again (the rule looks at where the focus is).
  void dbgPadraoEnter(rt::TObject* Sender);
  // Leaving the grid posts and saves a pending row, then discards the rows.
  void dbgPadraoExit(rt::TObject* Sender);
  // Inherited edit, then the grid's focus on the professional column.
  void sbtAlterarClick(rt::TObject* Sender) override;

  // ---- Row editing, display and payables ---------------------------------------------
  void cdsForneMaoBeforeInsert(rt::TClientDataSet& DataSet);
  void cdsForneMaoBeforeEdit(rt::TClientDataSet& DataSet);
  void cdsForneMaoBeforePost(rt::TClientDataSet& DataSet);
  void cdsForneMaoAfterPost(rt::TClientDataSet& DataSet);
  void cdsForneMaoBeforeDelete(rt::TClientDataSet& DataSet);
  void cdsForneMaoCalcFields(rt::TClientDataSet& DataSet);
  void dbgPadraoColEnter(rt::TObject* Sender);
  void dbgPadraoColExit(rt::TObject* Sender);
  void dbgPadraoEditButtonClick(rt::TObject* Sender);
  void dbgPadraoKeyPress(rt::TObject* Sender, char& Key) override;
  void dbgPadraoDrawColumnCell(rt::TObject* Sender, const rt::TRect& Rect, int DataCol, rt::TColumn& Column,
                               rt::TGridDrawState State);
  void cdsForneMaoNRINSJURFORNGetText(rt::TField& Sender, std::string& Text, bool DisplayText);
  void cdsProdFornNRINSJURFORNGetText(rt::TField& Sender, std::string& Text, bool DisplayText);
  // The search list's availability column: "Livre", or where the professional is booked.
  void cdsProdFornDSALOCACAOGetText(rt::TField& Sender, std::string& Text, bool DisplayText);
  void cdsForneMaoIDTIPOPAGAFORNGetText(rt::TField& Sender, std::string& Text, bool DisplayText);
  void cdsForneMaoIDTIPOPAGAFORNSetText(rt::TField& Sender, const std::string& Text);
  void cdsForneMaoHRINITUMOBRAGetText(rt::TField& Sender, std::string& Text, bool DisplayText);
  void cdsTurmaHRINITUMOBRAGetText(rt::TField& Sender, std::string& Text, bool DisplayText);
  // The amount column's key rule: a comma only once and never first; no amount above
  // 999999999. Drops the key by setting it to 0.
  void Vd_Virgula(rt::TDBGrid& grid, const std::string& field, char& Key);
  // While a row is edited: a professional without a payment type shows "pgto_Inf",
  // focuses the payment column and aborts.
  void Vd_VerificaPgto();
  // While a row is edited: the professional typed or chosen is checked with the server
  // and its fields written from the answer; an empty one is removed (after a question
  // when the row had one). Any failure focuses the professional column and goes on.
  void Vd_Fornecedor();
  // The two server checks before generation; each shows its message and aborts on false.
  void Vd_VerifVrPg();
  void Vd_VerifTpPagForn();
  void sbtGeraContaClick(rt::TObject* Sender);
  void sbtCancelaContaClick(rt::TObject* Sender);
  void sbtLimpaFornClick(rt::TObject* Sender);
  void sbtImprimirClick(rt::TObject* Sender);

  // ---- Components ---------------------------------------------------------------------
  clib::TNetConnectionComponent& netAloc() { return Comp<clib::TNetConnectionComponent>("netAloc"); }
  clib::TMessages& msgPadrao() { return MsgPadrao(); }
  rt::TPanel& panFiltro() { return Comp<rt::TPanel>("panFiltro"); }
  rt::TEdit& edtNrOrcamento() { return Comp<rt::TEdit>("edtNrOrcamento"); }
  rt::TEdit& edtSeq() { return Comp<rt::TEdit>("edtSeq"); }
  clib::TBtnPesquisa& btnNrOrcamento() { return Comp<clib::TBtnPesquisa>("btnNrOrcamento"); }
  rt::TDBGrid& dbgPadrao() { return Comp<rt::TDBGrid>("dbgPadrao"); }
  rt::TControl& Control(const std::string& name) { return Comp<rt::TControl>(name); }
  rt::TMenuItem& MenuItem(const std::string& name) { return Comp<rt::TMenuItem>(name); }
  rt::TClientDataSet& DataSet(const std::string& name) { return clib::DataSetOf(*this, name); }
  rt::TClientDataSet& cdsForneMao() { return DataSet("cdsForneMao"); }
  rt::TClientDataSet& cdsForneAux() { return DataSet("cdsForneAux"); }
  rt::TClientDataSet& cdsFornMaoAux() { return DataSet("cdsFornMaoAux"); }
  rt::TClientDataSet& cdsOrcaEvento() { return DataSet("cdsOrcaEvento"); }
  rt::TClientDataSet& cdsItMaoObra() { return DataSet("cdsItMaoObra"); }
  rt::TClientDataSet& cdsNfRelacOrc() { return DataSet("cdsNfRelacOrc"); }
  rt::TClientDataSet& cdsPesqOrca() { return DataSet("cdsPesqOrca"); }
  rt::TClientDataSet& cdsVdOrcaEven() { return DataSet("cdsVdOrcaEven"); }
  rt::TClientDataSet& cdsSequencial() { return DataSet("cdsSequencial"); }
  rt::TDataSource& DataSource(const std::string& name) { return Comp<clib::TDataSourceComponent>(name).Source(); }

  // Private state of the screen (strings, empty at creation).
  std::string stCdFilial;
  std::string stNrOrcamento;
  std::string stInscricao;

 protected:
  std::vector<std::string> LayoutResources() const override { return {"TFRMPADRAOGRID", "TFRMALOCAMAO"}; }
  void PublishHandlers() override;

 private:
  // The payload of a call on netAloc's application server, through CheckResultServ.
  rt::Variant ChamaServidor(const std::string& method, std::vector<clib::Arg> args);
  // Text of a field of the grid's current row.
  std::string Linha(const char* field);
  // The two search lists of the grid's ellipsis buttons.
  void EscolheProfissional();
  void EscolheTurma();
  // GetVrPgMObra and GetTurma for the current row's labour item, into their datasets.
  void CarregaValorPadrao();
  void CarregaTurmas();
  // Writes the labour item's default amount and/or crew time (cdsVrPagMObra's row of the
  // unit's shift) into the row, and remembers for whom they were written.
  void EscrevePadrao(bool valor, bool turma);
  // Steps of Vd_Fornecedor inside its exception guard; the removal of a professional.
  void ValidaProfissional(rt::TField& registro);
  void RemoveProfissional();
  // A generation or cancellation call: a failure hides the busy animation, then shows a
  // message key's text ("N_PARAM_…") or goes on unchanged.
  rt::Variant ChamaConta(alloc::TBusyScope& busy, const std::string& method, std::vector<clib::Arg> args);
  void MensagemDaFalha(const std::string& failure);
  // A supplier code of a unit without professional: blank, or the removal marker.
  static bool SemProfissional(const std::string& cdforneced);
  // Get_VrPgMObra or GetTpFormPgProf for the budget in hand, under the busy animation.
  bool VerificaConta(const std::string& method);
  // The text handlers of the fields, which a layout cannot name.
  void LigaTextoCampos();
  // The enabling rule with the grid's focus given: exit handlers run while the grid is
  // still the active control, so the grid's exit passes false.
  void AplicaBotoes(bool grade_com_foco);
  // Steps 4 to 7 of the load: cdsForneMao emptied and rebuilt from cdsFornMaoAux.
  void MontaGrade();
  // The load itself (GetAlocaForne into the four datasets, the rows built, the buttons
  // set), with no look at what the grid holds. Listens to the budget sequence's changes
  // from just before it (OuveAlteracoes) and clears the notice of changes heard.
  // Without the animation for a refresh the clerk did not ask for (a colleague's save).
  void CarregaOrcamento(bool com_animacao = true);
  // ---- Live updates (frm_aloca_mao_live.cpp) -------------------------------------------
  void OuveAlteracoes();
  void DeixaDeOuvir();
  // Other clerks' changes, on the UI thread: a reload in place while nothing is pending,
  // else the notice.
  void AlteracoesOuvidas(const std::vector<clib::TChange>& alteracoes);
  std::string TextoDoAviso(const std::vector<clib::TChange>& alteracoes);
  // Discards what the grid holds unsaved and loads the budget again, the cursor on the
  // same unit of labour where it is still there.
  void RecarregaNaLinha(bool com_animacao = true);
  // Nothing the clerk typed is lost before an action that reloads or leaves the grid:
  // a row being edited is posted through its checks, and every change not yet saved is
  // sent. A refused check or a failed save stops the action with its message, the
  // changes kept.
  void GravaPendentes();
  // SetForneMao with the delta of cdsForneMao, then the change log merged.
  void EnviaAlteracoes(rt::TClientDataSet& DataSet);
  // After the server refused a save: the refusal, and the question whether to discard
  // the unsaved changes and reload; ends the operation either way (silent abort).
  void OfereceDescarte(const std::string& recusa);

  // The supplier code whose defaults the edited row's amount and crew time hold: the
  // row's own when its edit began, the new one once its defaults were written.
  std::string stFornComPadrao;
};
