// The host's text table: every text has its English, with the same placeholders.
#include "desktop/host_texts.h"

#include <gtest/gtest.h>

namespace desk {
namespace {

TEST(HostTexts, EveryTextHasBothLanguages) {
  for (int i = 0; i < static_cast<int>(THostText::kCount); ++i) {
    const auto text = static_cast<THostText>(i);
    const QString portuguese = HostText(text, rt::TUiLanguage::kPortuguese);
    const QString english = HostText(text, rt::TUiLanguage::kEnglish);
    SCOPED_TRACE(portuguese.toStdString());
    EXPECT_FALSE(portuguese.isEmpty());
    EXPECT_FALSE(english.isEmpty()) << "no English";
    // A placeholder the one has, the other must have too.
    for (const char* marker : {"%1", "%2"}) EXPECT_EQ(portuguese.contains(marker), english.contains(marker)) << marker;
  }
  // The Portuguese stays what the host has always said.
  EXPECT_EQ(HostText(THostText::kMenuModule, rt::TUiLanguage::kPortuguese), QString::fromUtf8("&Módulo"));
  EXPECT_EQ(HostText(THostText::kBusyLoading, rt::TUiLanguage::kPortuguese), QString::fromUtf8("Carregando…"));
  EXPECT_EQ(HostText(THostText::kMenuWindow, rt::TUiLanguage::kEnglish), "&Window");
}

}  // namespace
}  // namespace desk
