// Live updates: other clerks' changes to the budget sequence on screen, heard through
// the host's change watch (platform/clientlib/change_watch.h) on the UI thread. While
// the grid is browsing with nothing pending it reloads in place: the row found again by
// its unit, the column kept, the focus where it was, handlers detached as in any load.
// While the clerk edits, or a change waits to be saved, nothing in the grid moves: a
// notice says who changed what, and F2 brings it in.
#include <ctime>

#include "alloc/conversions.h"
#include "alloc/frm_aloca_mao.h"
#include "alloc/screen_support.h"
#include "platform/clientlib/change_watch.h"

namespace {

// The message key of the notice for one change.
const char* AvisoDe(const std::string& action) {
  if (action == "ALOCACAO") return "AVISO_ALOCOU";
  if (action == "LIMPEZA") return "AVISO_RETIROU";
  if (action == "GERACAO_CONTA") return "AVISO_GEROU";
  if (action == "CANCELAMENTO_CONTA") return "AVISO_CANCELOU";
  return "AVISO_ALTEROU";
}

std::string HoraDe(std::int64_t at) {
  const std::time_t t = static_cast<std::time_t>(at);
  std::tm local{};
  localtime_r(&t, &local);
  char text[8];
  std::strftime(text, sizeof text, "%H:%M", &local);
  return text;
}

}  // namespace

void TfrmAlocaMao::OuveAlteracoes() {
  clib::IChangeWatch* watch = clib::ChangeWatch();
  if (watch == nullptr) return;
  watch->Watch({stCdFilial, stNrOrcamento, edtSeq().Text()}, netAloc(),
               [this](const std::vector<clib::TChange>& alteracoes) { AlteracoesOuvidas(alteracoes); });
}

void TfrmAlocaMao::DeixaDeOuvir() {
  if (clib::IChangeWatch* watch = clib::ChangeWatch()) watch->Unwatch();
}

void TfrmAlocaMao::AlteracoesOuvidas(const std::vector<clib::TChange>& alteracoes) {
  rt::TClientDataSet& grade = cdsForneMao();
  // No rows on screen (the focus is in the filter panel): the next load is fresh anyway.
  if (alteracoes.empty() || !grade.Active() || grade.IsEmpty()) return;
  // Typing still in the cell's editor counts as editing.
  if (alloc::Editando(grade) || dbgPadrao().EditorModified() || grade.ChangeCount() > 0) {
    Comp<rt::TLabel>("lblAviso").SetCaption(TextoDoAviso(alteracoes));
    return;
  }
  const int coluna = dbgPadrao().SelectedIndex();
  RecarregaNaLinha(false);  // no busy animation over the grid for a colleague's save
  if (dbgPadrao().SelectedIndex() != coluna) dbgPadrao().SetSelectedIndex(coluna);
}

std::string TfrmAlocaMao::TextoDoAviso(const std::vector<clib::TChange>& alteracoes) {
  const clib::TChange& ultima = alteracoes.back();
  const std::string hora = HoraDe(ultima.at);
  if (alteracoes.size() > 1) {
    return alloc::ComArgumentos(msgPadrao().Msg("AVISO_VARIAS"),
                                {ultima.operator_id, std::to_string(alteracoes.size()), hora});
  }
  // The product's name as the grid shows it; its code when the grid does not hold it.
  std::string produto = ultima.product;
  rt::TClientDataSet& itens = cdsFornMaoAux();
  if (itens.Active()) {
    for (itens.First(); !itens.Eof(); itens.Next()) {
      if (itens.FieldByName("CDPRODUTO").AsString() == ultima.product) {
        produto = itens.FieldByName("NMPRODUTO").AsString();
        break;
      }
    }
  }
  const char* chave = AvisoDe(ultima.action);
  if (ultima.action == "GERACAO_CONTA" || ultima.action == "CANCELAMENTO_CONTA") {
    return alloc::ComArgumentos(msgPadrao().Msg(chave), {ultima.operator_id, hora});
  }
  return alloc::ComArgumentos(msgPadrao().Msg(chave), {ultima.operator_id, produto, hora});
}
