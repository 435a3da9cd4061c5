#include "platform/runtime/ui_language.h"

#include <cstdlib>
#include <vector>

namespace rt {

std::string CurrentUiLocale() {
  for (const char* variable : {"ALLOC_UI_LANG", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    std::string locale = value;
    if (locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0) return "";
    return locale;
  }
  return "";
}

TUiLanguage UiLanguageOf(std::string_view locale) {
  const bool english = locale.size() >= 2 && (locale[0] == 'e' || locale[0] == 'E') &&
                       (locale[1] == 'n' || locale[1] == 'N') &&
                       (locale.size() == 2 || locale[2] == '_' || locale[2] == '-' || locale[2] == '.');
  return english ? TUiLanguage::kEnglish : TUiLanguage::kPortuguese;
}

TUiLanguage UiLanguage() {
  static const TUiLanguage language = UiLanguageOf(CurrentUiLocale());
  return language;
}

std::string FillArguments(std::string_view text, std::initializer_list<std::string_view> arguments) {
  const std::vector<std::string_view> args(arguments);
  std::string filled;
  filled.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool marker = text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9';
    const std::size_t index = marker ? static_cast<std::size_t>(text[i + 1] - '1') : args.size();
    if (index < args.size()) {
      filled += args[index];
      ++i;
    } else {
      filled += text[i];
    }
  }
  return filled;
}

}  // namespace rt
