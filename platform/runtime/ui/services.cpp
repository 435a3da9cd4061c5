#include "platform/runtime/ui/services.h"

#include <iostream>

namespace rt {

const char* MsgDlgTypeName(TMsgDlgType type) {
  switch (type) {
    case mtWarning:
      return "warning";
    case mtError:
      return "error";
    case mtInformation:
      return "information";
    case mtConfirmation:
      return "confirmation";
    case mtCustom:
      return "custom";
  }
  return "custom";
}

const char* MsgDlgBtnName(TMsgDlgBtn button) {
  switch (button) {
    case mbYes:
      return "Yes";
    case mbNo:
      return "No";
    case mbOK:
      return "OK";
    case mbCancel:
      return "Cancel";
    case mbAbort:
      return "Abort";
    case mbRetry:
      return "Retry";
    case mbIgnore:
      return "Ignore";
    case mbAll:
      return "All";
    case mbNoToAll:
      return "NoToAll";
    case mbYesToAll:
      return "YesToAll";
    case mbHelp:
      return "Help";
  }
  return "?";
}

TModalResult ModalResultOf(TMsgDlgBtn button) {
  switch (button) {
    case mbYes:
      return mrYes;
    case mbNo:
      return mrNo;
    case mbOK:
      return mrOk;
    case mbCancel:
      return mrCancel;
    case mbAbort:
      return mrAbort;
    case mbRetry:
      return mrRetry;
    case mbIgnore:
      return mrIgnore;
    case mbAll:
      return mrAll;
    case mbNoToAll:
      return mrNoToAll;
    case mbYesToAll:
      return mrYesToAll;
    case mbHelp:
      return mrNone;
  }
  return mrNone;
}

std::string ModalResultName(TModalResult result) {
  switch (result) {
    case mrNone:
      return "None";
    case mrOk:
      return "OK";
    case mrCancel:
      return "Cancel";
    case mrAbort:
      return "Abort";
    case mrRetry:
      return "Retry";
    case mrIgnore:
      return "Ignore";
    case mrYes:
      return "Yes";
    case mrNo:
      return "No";
    case mrAll:
      return "All";
    case mrNoToAll:
      return "NoToAll";
    case mrYesToAll:
      return "YesToAll";
    default:
      return std::to_string(result);
  }
}

namespace {

// Headless fallback: says what would have been shown and answers cautiously.
class THeadlessServices : public IDialogService, public IBusyIndicator, public ICursorSink {
 public:
  TModalResult MessageDlg(const std::string& text, TMsgDlgType type, const TMsgDlgButtons& buttons, int) override {
    std::cerr << "[" << MsgDlgTypeName(type) << "] " << text << "\n";
    for (TMsgDlgBtn safe : {mbNo, mbCancel, mbOK})
      if (buttons.count(safe)) return ModalResultOf(safe);
    return buttons.empty() ? mrNone : ModalResultOf(*buttons.begin());
  }
  void ShowError(const std::string& text) override { std::cerr << "[error] " << text << "\n"; }
  std::optional<int> PickList(const std::string& title, const std::string&, const std::vector<TPickColumn>&,
                              const std::vector<std::vector<std::string>>&) override {
    std::cerr << "[pick list cancelled: no dialog service] " << title << "\n";
    return std::nullopt;
  }
  void Show(int) override {}
  void Hide() override {}
  void CursorChanged(TCursor) override {}
};

THeadlessServices& Headless() {
  static THeadlessServices services;
  return services;
}

IDialogService* g_dialogs = nullptr;
IBusyIndicator* g_busy = nullptr;
ICursorSink* g_cursor = nullptr;

}  // namespace

void InstallDialogService(IDialogService* service) { g_dialogs = service; }
void InstallBusyIndicator(IBusyIndicator* indicator) { g_busy = indicator; }
void InstallCursorSink(ICursorSink* sink) { g_cursor = sink; }
IDialogService& Dialogs() { return g_dialogs ? *g_dialogs : Headless(); }
IBusyIndicator& BusyIndicator() { return g_busy ? *g_busy : Headless(); }
ICursorSink& CursorSink() { return g_cursor ? *g_cursor : Headless(); }

TServicesScope::TServicesScope(IDialogService* dialogs, IBusyIndicator* busy, ICursorSink* cursor)
    : prev_dialogs_(g_dialogs), prev_busy_(g_busy), prev_cursor_(g_cursor) {
  g_dialogs = dialogs;
  g_busy = busy;
  g_cursor = cursor;
}

TServicesScope::~TServicesScope() {
  g_dialogs = prev_dialogs_;
  g_busy = prev_busy_;
  g_cursor = prev_cursor_;
}

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, const TMsgDlgButtons& buttons, int help_context) {
  return Dialogs().MessageDlg(text, type, buttons, help_context);
}

}  // namespace rt
