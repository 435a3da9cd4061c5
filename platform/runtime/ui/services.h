// Host services the runtime reaches through interfaces: dialogs and pick lists, the busy
// indicator, the screen cursor, and the wait for blocking work (blocking_wait.h). The desktop host installs Qt
// implementations; tests install the scripted doubles of testing/scripted_services.h. With nothing installed, a
// headless fallback writes to standard error and answers as a cautious user would: a question is answered No (or
// Cancel, or the first of the offered buttons), a pick list is cancelled — never a destructive Yes.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/runtime/blocking_wait.h"

namespace rt {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = std::set<TMsgDlgBtn>;

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;
constexpr TModalResult mrNoToAll = 9;
constexpr TModalResult mrYesToAll = 10;

// The screen cursor values the screens use.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crHourGlass = -11;

// "warning", "error", "information", "confirmation", "custom".
const char* MsgDlgTypeName(TMsgDlgType type);
// "Yes", "No", "OK", "Cancel", ...
const char* MsgDlgBtnName(TMsgDlgBtn button);
// The modal result a button gives (mbYes -> mrYes).
TModalResult ModalResultOf(TMsgDlgBtn button);
// "Yes", "No", "OK", "Cancel", ... ; "None" for mrNone.
std::string ModalResultName(TModalResult result);

struct TPickColumn {
  std::string title;
  int width = 0;  // characters
};

class IDialogService {
 public:
  virtual ~IDialogService() = default;
  // A modal message; answers with the modal result of the button chosen.
  virtual TModalResult MessageDlg(const std::string& text, TMsgDlgType type, const TMsgDlgButtons& buttons,
                                  int help_context) = 0;
  // The error dialog of the application's exception handler.
  virtual void ShowError(const std::string& text) = 0;
  // A modal list of rows to choose one from; the chosen row's index, or nullopt when the
  // user cancelled. `empty_text` is what the list says when it has no rows.
  virtual std::optional<int> PickList(const std::string& title, const std::string& empty_text,
                                      const std::vector<TPickColumn>& columns,
                                      const std::vector<std::vector<std::string>>& rows) = 0;
};

class IBusyIndicator {
 public:
  virtual ~IBusyIndicator() = default;
  virtual void Show(int kind) = 0;
  virtual void Hide() = 0;
};

// Told of every change of the screen cursor.
class ICursorSink {
 public:
  virtual ~ICursorSink() = default;
  virtual void CursorChanged(TCursor cursor) = 0;
};

// The process-wide registry. Installing nullptr puts the headless fallback back.
void InstallDialogService(IDialogService* service);
void InstallBusyIndicator(IBusyIndicator* indicator);
void InstallCursorSink(ICursorSink* sink);
IDialogService& Dialogs();
IBusyIndicator& BusyIndicator();
ICursorSink& CursorSink();

// Installs services for a scope (a test) and puts the previous ones back at its end.
class TServicesScope {
 public:
  TServicesScope(IDialogService* dialogs, IBusyIndicator* busy, ICursorSink* cursor = nullptr);
  ~TServicesScope();
  TServicesScope(const TServicesScope&) = delete;
  TServicesScope& operator=(const TServicesScope&) = delete;

 private:
  IDialogService* prev_dialogs_;
  IBusyIndicator* prev_busy_;
  ICursorSink* prev_cursor_;
};

// The host framework's MessageDlg, through the installed dialog service.
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, const TMsgDlgButtons& buttons, int help_context);

}  // namespace rt
