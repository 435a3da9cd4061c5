#include "platform/runtime/ui_language.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace rt {
namespace {

TEST(UiLocale, ComesFromTheEnvironmentInOrder) {
  struct Saved {
    const char* name;
    std::optional<std::string> value;
  };
  std::vector<Saved> saved;
  for (const char* name : {"ALLOC_UI_LANG", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    saved.push_back({name, v ? std::optional<std::string>(v) : std::nullopt});
    ::unsetenv(name);
  }
  EXPECT_EQ(CurrentUiLocale(), "");
  ::setenv("LANG", "en_GB.UTF-8", 1);
  EXPECT_EQ(CurrentUiLocale(), "en_GB.UTF-8");
  ::setenv("LC_ALL", "C", 1);
  EXPECT_EQ(CurrentUiLocale(), "");
  ::setenv("ALLOC_UI_LANG", "pt_BR", 1);
  EXPECT_EQ(CurrentUiLocale(), "pt_BR");
  for (const auto& s : saved) {
    if (s.value)
      ::setenv(s.name, s.value->c_str(), 1);
    else
      ::unsetenv(s.name);
  }
}

TEST(UiLanguage, TheLocalesLanguageChoosesEnglishOrPortuguese) {
  const struct {
    const char* locale;
    TUiLanguage language;
  } cases[] = {
      {"en", TUiLanguage::kEnglish},   {"en_GB.UTF-8", TUiLanguage::kEnglish}, {"EN-us", TUiLanguage::kEnglish},
      {"", TUiLanguage::kPortuguese},  {"pt_BR", TUiLanguage::kPortuguese},    {"eng", TUiLanguage::kPortuguese},
      {"e", TUiLanguage::kPortuguese},
  };
  for (const auto& c : cases) EXPECT_EQ(UiLanguageOf(c.locale), c.language) << c.locale;
}

TEST(UiLanguage, ArgumentsFillTheirMarkersOnce) {
  const struct {
    const char* text;
    std::initializer_list<std::string_view> arguments;
    const char* filled;
  } cases[] = {
      {"O servidor %1 não respondeu em %2 s.", {"h:1", "5"}, "O servidor h:1 não respondeu em 5 s."},
      {"%2 before %1", {"a", "b"}, "b before a"},
      {"100% %1", {"x"}, "100% x"},        // a percent sign that is no marker
      {"%1 and %2", {"%2"}, "%2 and %2"},  // an argument's marker is not filled again
      {"ends with %", {}, "ends with %"},
  };
  for (const auto& c : cases) EXPECT_EQ(FillArguments(c.text, c.arguments), c.filled) << c.text;
}

}  // namespace
}  // namespace rt
