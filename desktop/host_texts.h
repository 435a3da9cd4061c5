// The host's own texts (its menus, dialog titles, busy texts, sign-in, search box) in
// one table, Portuguese and English. The language is the one the module's language
// resource modules use (rt::CurrentUiLocale: ALLOC_UI_LANG, LC_ALL, LC_MESSAGES, LANG):
// a locale of language "en" gives English, anything else Portuguese.
#pragma once

#include <QString>
#include <string>

namespace desk {

enum class THostText {
  kAppTitle,
  kMenuModule,
  kMenuAllocation,
  kMenuReport,
  kMenuExit,
  kMenuWindow,
  kMenuCascade,
  kMenuTile,
  kModuleNotLoaded,
  kTitleInformation,
  kTitleConfirmation,
  kTitleError,
  kTitleWarning,
  kBusyLoading,
  kBusyProcessing,
  kWaitingForServer,  // %1: the server method waited for
  kSignInTitle,
  kSignInServer,
  kSignInPort,
  kSignInOperator,
  kSignInPassword,
  kSignInBranch,
  kSignInNoOperator,
  kSignInNoBranch,
  kSignInBranchRefused,  // %1: the branch
  kSearchPlaceholder,
  kCount
};

enum class THostLanguage { kPortuguese, kEnglish };

// The language of a locale name ("en", "en_GB.UTF-8" → English; "", "pt_BR" → Portuguese).
THostLanguage HostLanguageOf(const std::string& locale);
// The language chosen for this process (read once).
THostLanguage HostLanguage();
QString HostText(THostText text, THostLanguage language);
inline QString HostText(THostText text) { return HostText(text, HostLanguage()); }

// The text of a blocking wait in the host's language. The client's connection says what
// it waits for in Portuguese ("Aguardando o servidor (GetAlocaForne)…"); that form is
// re-said in the host's language, any other text is shown as it is.
QString WaitingText(const std::string& what, THostLanguage language);
inline QString WaitingText(const std::string& what) { return WaitingText(what, HostLanguage()); }

}  // namespace desk
