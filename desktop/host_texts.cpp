#include "desktop/host_texts.h"

#include <QRegularExpression>
#include <array>

#include "desktop/qt_text.h"
#include "platform/runtime/ui/layout.h"

namespace desk {

namespace {

struct TTranslatedText {
  const char* portuguese;
  const char* english;
};

// In THostText order; the host text test fails on an entry left without English.
constexpr std::array<TTranslatedText, static_cast<size_t>(THostText::kCount)> kTexts = {{
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
    {"Aguardando o servidor (%1)…", "Waiting for the server (%1)…"},
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
}};

}  // namespace

THostLanguage HostLanguageOf(const std::string& locale) {
  const bool english = locale.size() >= 2 && (locale[0] == 'e' || locale[0] == 'E') &&
                       (locale[1] == 'n' || locale[1] == 'N') &&
                       (locale.size() == 2 || locale[2] == '_' || locale[2] == '-' || locale[2] == '.');
  return english ? THostLanguage::kEnglish : THostLanguage::kPortuguese;
}

THostLanguage HostLanguage() {
  static const THostLanguage language = HostLanguageOf(rt::CurrentUiLocale());
  return language;
}

QString HostText(THostText text, THostLanguage language) {
  const TTranslatedText& entry = kTexts[static_cast<size_t>(text)];
  return QString::fromUtf8(language == THostLanguage::kEnglish ? entry.english : entry.portuguese);
}

QString WaitingText(const std::string& what, THostLanguage language) {
  static const QRegularExpression kPortugueseWait(QStringLiteral("^Aguardando o servidor \\((.*)\\)…$"));
  const QString said = Q(what);
  const auto match = kPortugueseWait.match(said);
  if (!match.hasMatch()) return said;
  return HostText(THostText::kWaitingForServer, language).arg(match.captured(1));
}

}  // namespace desk
