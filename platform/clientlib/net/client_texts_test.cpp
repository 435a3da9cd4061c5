// The client library's text table: every text has its English with the same markers,
// and the Portuguese stays what callers have always shown.
#include "platform/clientlib/net/client_texts.h"

#include <gtest/gtest.h>

namespace clib {
namespace {

TEST(ClientTexts, EveryTextHasBothLanguagesWithTheSameMarkers) {
  for (int i = 0; i < static_cast<int>(TClientText::kCount); ++i) {
    const auto text = static_cast<TClientText>(i);
    const std::string portuguese = ClientText(text, rt::TUiLanguage::kPortuguese);
    const std::string english = ClientText(text, rt::TUiLanguage::kEnglish);
    SCOPED_TRACE(portuguese);
    EXPECT_FALSE(portuguese.empty());
    EXPECT_FALSE(english.empty()) << "no English";
    EXPECT_NE(portuguese, english) << "English left in Portuguese";
    for (const char* marker : {"%1", "%2"})
      EXPECT_EQ(portuguese.find(marker) != std::string::npos, english.find(marker) != std::string::npos) << marker;
  }
}

TEST(ClientTexts, ArgumentsFillTheTextInEitherLanguage) {
  EXPECT_EQ(ClientText(TClientText::kServerSilent, rt::TUiLanguage::kPortuguese, {"h:9311", "5"}),
            "O servidor de aplicação h:9311 não respondeu em 5 s. Tente de novo; se persistir, avise o suporte.");
  EXPECT_EQ(ClientText(TClientText::kServerSilent, rt::TUiLanguage::kEnglish, {"h:9311", "5"}),
            "The application server h:9311 did not answer within 5 s. Try again; if it persists, tell support.");
  EXPECT_EQ(ClientText(TClientText::kBadAnswerOf, rt::TUiLanguage::kPortuguese,
                       {"GetAlocaForne", ClientText(TClientText::kExpectedFourPackets, rt::TUiLanguage::kPortuguese)}),
            "Resposta inválida do servidor de aplicação em GetAlocaForne: eram esperados quatro pacotes de dados.");
}

}  // namespace
}  // namespace clib
