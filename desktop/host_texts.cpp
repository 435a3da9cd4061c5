#include "desktop/host_texts.h"

#include <array>

namespace desk {

namespace {

// In THostText order; the host text test fails on an entry left without English.
constexpr std::array<rt::TTranslatedText, static_cast<size_t>(THostText::kCount)> kTexts = {{
    {"Orçamentos de Eventos", "Event Budgets"},
    {"&Módulo", "&Module"},
    {"&Alocação de Mão de Obra", "Labour &Allocation"},
    {"&Relatório de Alocação de Mão de Obra", "Labour Allocation &Report"},
    {"Sai&r", "E&xit"},
    {"&Janela", "&Window"},
    {"&Cascata", "&Cascade"},
    {"&Lado a lado", "&Tile"},
    {"O módulo não está carregado.", "The module is not loaded."},
    {"Informação", "Information"},
    {"Confirmação", "Confirmation"},
    {"Erro", "Error"},
    {"Aviso", "Warning"},
    {"Carregando…", "Loading…"},
    {"Processando…", "Processing…"},
    {"Entrar", "Sign in"},
    {"Servidor", "Server"},
    {"Porta", "Port"},
    {"Operador", "Operator"},
    {"Senha", "Password"},
    {"Filial", "Branch"},
    {"Informe o operador.", "Enter the operator."},
    {"Informe a filial.", "Enter the branch."},
    {"O operador não tem acesso à filial %1.", "The operator has no access to branch %1."},
    {"Digite para pesquisar", "Type to search"},
    {"Página %1 de %2", "Page %1 of %2"},
    {"Salvar PDF…", "Save PDF…"},
    {"Exportar CSV…", "Export CSV…"},
    {"Não foi possível gravar %1", "Could not write %1"},
    {"&Sim", "&Yes"},
    {"&Não", "&No"},
    {"OK", "OK"},
    {"Cancelar", "Cancel"},
    {"&Abortar", "&Abort"},
    {"&Repetir", "&Retry"},
    {"&Ignorar", "&Ignore"},
    {"&Todos", "&All"},
    {"N&ão para todos", "N&o to All"},
    {"Sim para &todos", "Yes to &All"},
    {"Aj&uda", "&Help"},
}};

}  // namespace

QString HostText(THostText text, rt::TUiLanguage language) {
  return QString::fromUtf8(kTexts[static_cast<size_t>(text)].In(language));
}

}  // namespace desk
