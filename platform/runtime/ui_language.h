// The language of the clerk's texts. One rule for every side of the client: the locale
// that selects language resource modules (ALLOC_UI_LANG, else LC_ALL, LC_MESSAGES, LANG)
// gives English when its language is "en", Portuguese otherwise. The screens translate
// through language resource modules; the client library and the host, whose texts are
// compiled in, keep Portuguese and English side by side in tables of TTranslatedText.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace rt {

// The locale that selects language resource modules: ALLOC_UI_LANG, else LC_ALL,
// else LC_MESSAGES, else LANG; "" (none) when unset or "C"/"POSIX".
std::string CurrentUiLocale();

enum class TUiLanguage { kPortuguese, kEnglish };

// The language of a locale name ("en", "en_GB.UTF-8" → English; "", "pt_BR" → Portuguese).
TUiLanguage UiLanguageOf(std::string_view locale);
// The language chosen for this process (read once, at the first call).
TUiLanguage UiLanguage();

// One compiled-in text in both languages.
struct TTranslatedText {
  const char* portuguese;
  const char* english;
  const char* In(TUiLanguage language) const { return language == TUiLanguage::kEnglish ? english : portuguese; }
};

// The text with "%1" … "%9" replaced by the arguments in order; a marker without an
// argument stays as it is, and an argument's own "%n" is never replaced again.
std::string FillArguments(std::string_view text, std::initializer_list<std::string_view> arguments);

}  // namespace rt
