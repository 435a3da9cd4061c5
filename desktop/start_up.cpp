#include "desktop/start_up.h"

#include <QDir>
#include <QLibraryInfo>

#include "desktop/main_window.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/dbgrid.h"
#include "platform/runtime/ui/input.h"

namespace desk {

std::optional<TPlatformChoice> ChoosePlatform(const std::vector<std::string>& args, bool has_display, bool has_qpa_env,
                                              bool vnc_available, bool screenshot_run) {
  for (const auto& a : args)
    if (a == "-platform" || a == "--platform" || a.rfind("-platform=", 0) == 0) return std::nullopt;
  if (has_display || has_qpa_env) return std::nullopt;
  if (screenshot_run) return TPlatformChoice{"offscreen", ""};
  if (!vnc_available)
    return TPlatformChoice{"offscreen",
                           "No display and no VNC platform plugin: running offscreen (nothing can be seen)."};
  return TPlatformChoice{"vnc:size=1280x800:port=5900",
                         "No display: connect a VNC viewer to 127.0.0.1:5900 (Qt's VNC platform has no password and "
                         "listens on every interface: use it on a trusted machine)"};
}

bool VncPluginAvailable() {
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
  return platforms.exists("libqvnc.so");
}

bool OpenBudget(TMainWindow& window, const std::string& number, const std::string& sequence) {
  rt::TForm* screen = nullptr;
  for (rt::TForm* form : rt::Screen().Forms())
    if (form->ClassName() == "TfrmAlocaMao" && form->IsShown()) screen = form;
  if (!screen) return false;
  auto* edit = screen->Find<rt::TEdit>("edtNrOrcamento");
  auto* seq = screen->Find<rt::TEdit>("edtSeq");
  auto* grid = screen->Find<rt::TDBGrid>("dbgPadrao");
  if (!edit || !seq || !grid) return false;
  bool ok = rt::Input::FocusControl(*edit) && rt::Input::TypeText(number);
  if (ok && !sequence.empty()) {
    ok = rt::Input::FocusControl(*seq);
    while (ok && !seq->Text().empty()) ok = rt::Input::TypeKey(rt::Input::kBackspace);
    ok = ok && rt::Input::TypeText(sequence);
  }
  ok = ok && rt::Input::FocusControl(*grid);
  window.SyncAll();
  return ok && grid->Focused();
}

}  // namespace desk
