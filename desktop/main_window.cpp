#include "desktop/main_window.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>

#include "desktop/form_peer.h"
#include "desktop/grid_view.h"
#include "desktop/host_services.h"
#include "desktop/host_texts.h"
#include "desktop/qt_canvas.h"
#include "desktop/qt_text.h"
#include "desktop/report_view.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/input.h"

namespace desk {

std::string DefaultPackagePath() {
  const QString beside = QCoreApplication::applicationDirPath() + "/../module/libPkg_EVT04700.so";
  if (QFileInfo::exists(beside)) return QFileInfo(beside).canonicalFilePath().toStdString();
#ifdef ALLOC_PACKAGE_BUILD_PATH
  return ALLOC_PACKAGE_BUILD_PATH;
#else
  return "libPkg_EVT04700.so";
#endif
}

TMainWindow::TMainWindow() : mdi_(new QMdiArea(this)) {
  setObjectName("mainWindow");
  setWindowTitle(HostText(THostText::kAppTitle));
  mdi_->setObjectName("mdi");
  setCentralWidget(mdi_);
  services_ = std::make_unique<THostServices>(this);
  clib::SetReportDataProvider(std::make_shared<TReportPreviewProvider>(this, &services_->Dialogs().OnDialogShown));
  MapSystemColors(QApplication::palette());
  BuildMenu();
  resize(1280, 800);
  rt::Application().SetTitle(windowTitle().toStdString());
  rt::Application().OnIdle = [this] { SyncAll(); };
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
    if (syncing_ || !sub) return;
    for (auto& [form, window] : windows_)
      if (window.sub == sub && rt::Screen().ActiveForm() != form && window.peer->Form())
        rt::Application().Guard([f = window.peer->Form()] { f->Show(); });
  });
}

TMainWindow::~TMainWindow() {
  UnloadPackage();
  rt::Application().OnIdle = nullptr;
  clib::SetReportDataProvider(nullptr);
}

void TMainWindow::BuildMenu() {
  QMenu* module = menuBar()->addMenu(HostText(THostText::kMenuModule));
  module->setObjectName("menuModule");
  QAction* open =
      module->addAction(HostText(THostText::kMenuAllocation), this, [this] { CallExport("CriaAlocaMaoObra"); });
  open->setObjectName("actionAllocation");
  QAction* report =
      module->addAction(HostText(THostText::kMenuReport), this, [this] { CallExport("CriaRelAlocMObra"); });
  report->setObjectName("actionReport");
  module->addSeparator();
  module->addAction(HostText(THostText::kMenuExit), this, &QWidget::close);
  QMenu* windows = menuBar()->addMenu(HostText(THostText::kMenuWindow));
  windows->addAction(HostText(THostText::kMenuCascade), mdi_, &QMdiArea::cascadeSubWindows);
  windows->addAction(HostText(THostText::kMenuTile), mdi_, &QMdiArea::tileSubWindows);
}

void TMainWindow::LoadPackage(const std::string& path) { package_ = clib::TPackage::Load(path); }

bool TMainWindow::CallExport(const std::string& name) {
  if (!package_) {
    QMessageBox::critical(this, windowTitle(), HostText(THostText::kModuleNotLoaded));
    return false;
  }
  const bool done = rt::Application().Guard([&] { package_->Call(name); });
  SyncAll();
  return done;
}

TFormPeer* TMainWindow::PeerOf(const rt::TForm* form) const {
  auto it = windows_.find(form);
  return it == windows_.end() ? nullptr : it->second.peer;
}

QMdiSubWindow* TMainWindow::WindowOf(const rt::TForm* form) const {
  auto it = windows_.find(form);
  return it == windows_.end() ? nullptr : it->second.sub;
}

void TMainWindow::AddWindow(rt::TForm& form) {
  auto* peer = new TFormPeer(form);
  auto* sub = mdi_->addSubWindow(peer);
  sub->setAttribute(Qt::WA_DeleteOnClose, false);
  sub->setObjectName(Q(form.Name()) + "Window");
  sub->installEventFilter(this);
  const rt::TForm* key = &form;
  windows_[key] = {sub, peer, rt::wsNormal};
  connect(peer, &TFormPeer::FormDestroyed, this, [this, key] {
    auto it = windows_.find(key);
    if (it == windows_.end()) return;
    QMdiSubWindow* gone = it->second.sub;
    windows_.erase(it);
    gone->hide();  // no paint may reach the destroyed form's controls
    gone->deleteLater();
  });
  peer->Sync();
  sub->adjustSize();
  // The form's own position, kept inside the MDI area.
  const QSize room = mdi_->viewport()->size();
  const int x = std::clamp(form.Left(), 0, std::max(0, room.width() - sub->width()));
  const int y = std::clamp(form.Top(), 0, std::max(0, room.height() - sub->height()));
  sub->move(x, y);
  sub->show();
}

void TMainWindow::SyncAll() {
  if (syncing_ || TGridView::Painting()) return;
  syncing_ = true;
  for (rt::TForm* form : rt::Screen().Forms())
    if (form->IsShown() && !windows_.count(form)) AddWindow(*form);
  for (auto& [form, window] : windows_) {
    rt::TForm* live = window.peer->Form();
    if (!live) continue;
    window.sub->setWindowTitle(Q(live->Caption()));
    if (window.sub->isVisible() != live->IsShown()) window.sub->setVisible(live->IsShown());
    if (live->WindowState() != window.applied_state) {
      window.applied_state = live->WindowState();
      if (window.applied_state == rt::wsMinimized)
        window.sub->showMinimized();
      else if (window.applied_state == rt::wsMaximized)
        window.sub->showMaximized();
      else
        window.sub->showNormal();
    }
    window.peer->Sync();
  }
  if (auto it = windows_.find(rt::Screen().ActiveForm());
      it != windows_.end() && mdi_->activeSubWindow() != it->second.sub) {
    mdi_->setActiveSubWindow(it->second.sub);
    it->second.peer->SyncFocus();
  }
  syncing_ = false;
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    for (auto& [form, window] : windows_) {
      if (window.sub != watched || !window.peer->Form()) continue;
      // The runtime decides what closing does (free, hide, minimise or refuse).
      event->ignore();
      rt::Input::CloseForm(*window.peer->Form());
      SyncAll();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainWindow::UnloadPackage() {
  if (!package_) return;
  // The screens' code lives in the library: they go before it is unloaded, newest first.
  std::vector<rt::TForm*> forms = rt::Screen().Forms();
  std::reverse(forms.begin(), forms.end());
  for (rt::TForm* form : forms) {
    const auto& now = rt::Screen().Forms();
    if (std::find(now.begin(), now.end(), form) != now.end()) delete form;
  }
  rt::Application().ProcessMessages();
  package_.reset();
}

void TMainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) SyncAll();
}

void TMainWindow::ForceClose() {
  force_close_ = true;
  close();
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  if (!force_close_ && package_) {
    // Each screen is closed as its own close button would (its close handlers run and
    // may refuse); the program ends only when none is left open.
    const std::vector<rt::TForm*> forms = rt::Screen().Forms();
    for (rt::TForm* form : forms) {
      const auto& now = rt::Screen().Forms();
      if (std::find(now.begin(), now.end(), form) != now.end() && form->IsShown()) rt::Input::CloseForm(*form);
    }
    rt::Application().ProcessMessages();
    SyncAll();
    for (rt::TForm* form : rt::Screen().Forms())
      if (form->IsShown() && form->WindowState() != rt::wsMinimized) {
        event->ignore();
        return;
      }
  }
  UnloadPackage();
  QMainWindow::closeEvent(event);
}

}  // namespace desk
