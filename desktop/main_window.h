// The host's main window: an MDI area where every shown runtime form lives as a
// sub-window (with its peers), the host's own menu that opens the module's screens
// through its exports, and the refresh of every peer after each input call (the
// runtime's idle hook). It loads the module library on start and, at exit, closes the
// module's screens before the library is finalised and unloaded.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <string>

#include "platform/clientlib/package_loader.h"
#include "platform/runtime/ui/forms.h"

class QMdiArea;
class QMdiSubWindow;

namespace desk {

class TFormPeer;
class THostServices;

// Where the module library is: beside the host (../module/ in a build tree), else where
// the build put it.
std::string DefaultPackagePath();

class TMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  TMainWindow();
  ~TMainWindow() override;

  // Loads the module (Initialize runs). Throws clib::EPackageError.
  void LoadPackage(const std::string& path);
  // Calls an export of the module without arguments (IniProc, CriaAlocaMaoObra, ...)
  // under the application's exception handler, then refreshes the windows.
  bool CallExport(const std::string& name);
  // Re-reads the runtime: new forms get windows, gone ones lose them, every peer syncs.
  void SyncAll();
  // The peer of a form (nullptr when it has no window).
  TFormPeer* PeerOf(const rt::TForm* form) const;
  QMdiSubWindow* WindowOf(const rt::TForm* form) const;
  QMdiArea* Mdi() const { return mdi_; }
  THostServices& Services() { return *services_; }
  // Destroys the module's forms, then finalises and unloads the module.
  void UnloadPackage();
  // Closes without asking the screens (a stop signal): they are destroyed as they are.
  void ForceClose();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Coming back to the window gives the runtime's focused control the keyboard focus.
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddWindow(rt::TForm& form);
  void BuildMenu();

  QMdiArea* mdi_;
  std::unique_ptr<THostServices> services_;
  std::unique_ptr<clib::TPackage> package_;
  struct Window {
    QMdiSubWindow* sub;
    TFormPeer* peer;
    rt::TWindowState applied_state;
  };
  std::map<const rt::TForm*, Window> windows_;
  bool syncing_ = false;
  bool force_close_ = false;
};

}  // namespace desk
