// The host's own texts (its menus, dialog titles, busy texts, sign-in, search box, the
// report preview) in one table, Portuguese and English. The language is the client's
// (rt::UiLanguage: the locale the module's language resource modules follow).
#pragma once

#include <QString>

#include "platform/runtime/ui_language.h"

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
  kReportPage,  // %1 of %2
  kReportSavePdf,
  kReportExportCsv,
  kReportCannotWrite,  // %1: the file
  // The message boxes' buttons, in rt::TMsgDlgBtn order.
  kButtonYes,
  kButtonNo,
  kButtonOk,
  kButtonCancel,
  kButtonAbort,
  kButtonRetry,
  kButtonIgnore,
  kButtonAll,
  kButtonNoToAll,
  kButtonYesToAll,
  kButtonHelp,
  kCount
};

QString HostText(THostText text, rt::TUiLanguage language);
inline QString HostText(THostText text) { return HostText(text, rt::UiLanguage()); }

}  // namespace desk
