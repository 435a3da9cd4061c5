// The host's text table: every text has its English, the language follows the same
// locale setting as the language modules, and the client's wait text is re-said.
#include "desktop/host_texts.h"

#include <gtest/gtest.h>

namespace desk {
namespace {

TEST(HostTexts, EveryTextHasBothLanguages) {
  for (int i = 0; i < static_cast<int>(THostText::kCount); ++i) {
    const auto text = static_cast<THostText>(i);
    const QString portuguese = HostText(text, THostLanguage::kPortuguese);
    const QString english = HostText(text, THostLanguage::kEnglish);
    SCOPED_TRACE(portuguese.toStdString());
    EXPECT_FALSE(portuguese.isEmpty());
    EXPECT_FALSE(english.isEmpty()) << "no English";
    // A placeholder the one has, the other must have too.
    EXPECT_EQ(portuguese.contains("%1"), english.contains("%1"));
  }
  // The Portuguese stays what the host has always said.
  EXPECT_EQ(HostText(THostText::kMenuModule, THostLanguage::kPortuguese), QString::fromUtf8("&Módulo"));
  EXPECT_EQ(HostText(THostText::kBusyLoading, THostLanguage::kPortuguese), QString::fromUtf8("Carregando…"));
  EXPECT_EQ(HostText(THostText::kMenuWindow, THostLanguage::kEnglish), "&Window");
}

TEST(HostTexts, TheLocaleChoosesTheLanguage) {
  const struct {
    const char* locale;
    THostLanguage language;
  } cases[] = {
      {"en", THostLanguage::kEnglish},   {"en_GB.UTF-8", THostLanguage::kEnglish}, {"EN-us", THostLanguage::kEnglish},
      {"", THostLanguage::kPortuguese},  {"pt_BR", THostLanguage::kPortuguese},    {"eng", THostLanguage::kPortuguese},
      {"e", THostLanguage::kPortuguese},
  };
  for (const auto& c : cases) EXPECT_EQ(HostLanguageOf(c.locale), c.language) << c.locale;
}

TEST(HostTexts, TheClientsWaitTextIsSaidInTheHostsLanguage) {
  EXPECT_EQ(WaitingText("Aguardando o servidor (GetAlocaForne)…", THostLanguage::kEnglish),
            QString::fromUtf8("Waiting for the server (GetAlocaForne)…"));
  EXPECT_EQ(WaitingText("Aguardando o servidor (GetAlocaForne)…", THostLanguage::kPortuguese),
            QString::fromUtf8("Aguardando o servidor (GetAlocaForne)…"));
  EXPECT_EQ(WaitingText("Outra espera", THostLanguage::kEnglish), "Outra espera");  // shown as it is
}

}  // namespace
}  // namespace desk
