#include "desktop/host_services.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QThread>
#include <QWindow>
#include <atomic>
#include <exception>
#include <thread>

#include "desktop/host_texts.h"
#include "desktop/qt_text.h"
#include "desktop/search_dialog.h"

namespace desk {

namespace {

QMessageBox::StandardButton ToQt(rt::TMsgDlgBtn button) {
  switch (button) {
    case rt::mbYes:
      return QMessageBox::Yes;
    case rt::mbNo:
      return QMessageBox::No;
    case rt::mbOK:
      return QMessageBox::Ok;
    case rt::mbCancel:
      return QMessageBox::Cancel;
    case rt::mbAbort:
      return QMessageBox::Abort;
    case rt::mbRetry:
      return QMessageBox::Retry;
    case rt::mbIgnore:
      return QMessageBox::Ignore;
    case rt::mbAll:
      return QMessageBox::YesToAll;
    case rt::mbNoToAll:
      return QMessageBox::NoToAll;
    case rt::mbYesToAll:
      return QMessageBox::YesToAll;
    case rt::mbHelp:
      return QMessageBox::Help;
  }
  return QMessageBox::Ok;
}

// Qt's own button texts are English whatever the clerk's language: the host says them.
static_assert(static_cast<int>(THostText::kButtonHelp) - static_cast<int>(THostText::kButtonYes) == rt::mbHelp,
              "the button texts follow rt::TMsgDlgBtn");
QString ButtonText(rt::TMsgDlgBtn button) {
  return HostText(static_cast<THostText>(static_cast<int>(THostText::kButtonYes) + static_cast<int>(button)));
}

QMessageBox::Icon IconOf(rt::TMsgDlgType type) {
  switch (type) {
    case rt::mtWarning:
      return QMessageBox::Warning;
    case rt::mtError:
      return QMessageBox::Critical;
    case rt::mtInformation:
      return QMessageBox::Information;
    case rt::mtConfirmation:
      return QMessageBox::Question;
    case rt::mtCustom:
      return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

QString TitleOf(rt::TMsgDlgType type) {
  switch (type) {
    case rt::mtWarning:
      return HostText(THostText::kTitleWarning);
    case rt::mtError:
      return HostText(THostText::kTitleError);
    case rt::mtInformation:
      return HostText(THostText::kTitleInformation);
    case rt::mtConfirmation:
      return HostText(THostText::kTitleConfirmation);
    case rt::mtCustom:
      break;
  }
  return QApplication::applicationDisplayName();
}

}  // namespace

rt::TModalResult TQtDialogService::MessageDlg(const std::string& text, rt::TMsgDlgType type,
                                              const rt::TMsgDlgButtons& buttons, int) {
  QMessageBox box(IconOf(type), TitleOf(type), Q(text), QMessageBox::NoButton, parent_);
  std::vector<std::pair<QAbstractButton*, rt::TMsgDlgBtn>> made;
  for (rt::TMsgDlgBtn b : buttons) made.emplace_back(static_cast<QAbstractButton*>(box.addButton(ToQt(b))), b);
  if (made.empty()) made.emplace_back(static_cast<QAbstractButton*>(box.addButton(QMessageBox::Ok)), rt::mbOK);
  for (auto& [button, kind] : made) button->setText(ButtonText(kind));
  // Escape answers the cautious button: No, else Cancel, else the only one.
  for (auto want : {rt::mbNo, rt::mbCancel, rt::mbOK})
    if (auto it = std::find_if(made.begin(), made.end(), [&](auto& p) { return p.second == want; }); it != made.end()) {
      box.setEscapeButton(it->first);
      break;
    }
  if (OnDialogShown) OnDialogShown(box);
  box.exec();
  for (auto& [button, kind] : made)
    if (box.clickedButton() == button) return rt::ModalResultOf(kind);
  return rt::mrCancel;
}

void TQtDialogService::ShowError(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, TitleOf(rt::mtError), Q(text), QMessageBox::Ok, parent_);
  box.button(QMessageBox::Ok)->setText(ButtonText(rt::mbOK));
  if (OnDialogShown) OnDialogShown(box);
  box.exec();
}

std::optional<int> TQtDialogService::PickList(const std::string& title, const std::string& empty_text,
                                              const std::vector<rt::TPickColumn>& columns,
                                              const std::vector<std::vector<std::string>>& rows) {
  TSearchDialog dialog(title, empty_text, columns, rows, parent_);
  if (OnDialogShown) OnDialogShown(dialog);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Chosen();
}

// ---------------------------------------------------------------------------------

TBusyOverlay::TBusyOverlay(QWidget* parent) : QWidget(parent) {
  setObjectName("busyOverlay");
  setAttribute(Qt::WA_TransparentForMouseEvents, false);
  hide();
  timer_.setInterval(60);
  connect(&timer_, &QTimer::timeout, this, [this] {
    angle_ = (angle_ + 30) % 360;
    update();
  });
  if (parent) parent->installEventFilter(this);
}

QString TBusyOverlay::KindText(int kind) {
  return HostText(kind == 1 ? THostText::kBusyLoading : THostText::kBusyProcessing);
}

void TBusyOverlay::Show(int kind) {
  kind_ = kind;
  if (parentWidget()) setGeometry(parentWidget()->rect());
  raise();
  show();
  timer_.start();
  // The work that follows blocks this thread: paint the overlay now so it is seen.
  repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TBusyOverlay::Hide() {
  timer_.stop();
  hide();
  waiting_.clear();
  shown_for_wait_ = false;
}

void TBusyOverlay::SetWaitingText(const QString& text) {
  waiting_ = text;
  if (!text.isEmpty() && !isVisible()) {
    Show(0);
    shown_for_wait_ = true;
  } else if (text.isEmpty() && shown_for_wait_) {
    Hide();
  }
  update();
}

void TBusyOverlay::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(rect(), QColor(0, 0, 0, 70));
  const QRect box(width() / 2 - 90, height() / 2 - 50, 180, 100);
  p.setBrush(palette().color(QPalette::Window));
  p.setPen(palette().color(QPalette::Mid));
  p.drawRoundedRect(box, 8, 8);
  const QRect arc(box.center().x() - 16, box.top() + 14, 32, 32);
  QPen pen(palette().color(QPalette::Highlight), 4);
  pen.setCapStyle(Qt::RoundCap);
  p.setPen(pen);
  p.drawArc(arc, -angle_ * 16, 270 * 16);
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(QRect(box.left() + 6, arc.bottom() + 8, box.width() - 12, box.bottom() - arc.bottom() - 10),
             Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, Text());
}

bool TBusyOverlay::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------

TQtCursorSink::~TQtCursorSink() {
  if (overridden_ && qApp) QApplication::restoreOverrideCursor();
}

void TQtCursorSink::CursorChanged(rt::TCursor cursor) {
  const bool want = cursor == rt::crHourGlass;
  if (want == overridden_) return;
  if (want)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
  overridden_ = want;
}

// ---------------------------------------------------------------------------------

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
      return true;
    default:
      return false;
  }
}

}  // namespace

TQtBlockingWait::TQtBlockingWait(QWidget* window, TBusyOverlay* overlay, int announce_ms)
    : window_(window), overlay_(overlay), announce_ms_(announce_ms) {}

void TQtBlockingWait::Wait(const std::string& what, const std::function<void()>& work) {
  if (waiting_ || !qApp || QThread::currentThread() != qApp->thread()) {
    work();
    return;
  }
  waiting_ = true;
  QEventLoop loop;
  std::atomic<bool> done{false};
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  QTimer announce;
  announce.setSingleShot(true);
  connect(&announce, &QTimer::timeout, this, [this, text = Q(what)] {
    if (overlay_) overlay_->SetWaitingText(text);
  });
  announce.start(announce_ms_);
  qApp->installEventFilter(this);
  if (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  qApp->removeEventFilter(this);
  if (overlay_) overlay_->SetWaitingText({});  // back to the screen's own text, or hidden
  waiting_ = false;
  if (failure) std::rethrow_exception(failure);
}

bool TQtBlockingWait::InWindow(QObject* object) const {
  if (!window_) return false;
  if (auto* widget = qobject_cast<QWidget*>(object)) return widget->window() == window_;
  if (auto* handle = qobject_cast<QWindow*>(object)) return handle == window_->windowHandle();
  return false;
}

bool TQtBlockingWait::eventFilter(QObject* watched, QEvent* event) {
  // A dialog opened meanwhile (its own window) keeps its input.
  if (!InWindow(watched)) return false;
  if (IsUserInput(event->type())) {
    // Accepted: a short-cut override taken here stops the short-cut too.
    event->accept();
    return true;
  }
  if (event->type() == QEvent::Close) {
    event->ignore();
    return true;
  }
  return false;
}

THostServices::THostServices(QWidget* main_window)
    : dialogs_(main_window),
      busy_(new TBusyOverlay(main_window)),
      scope_(&dialogs_, busy_, &cursor_),
      wait_(main_window, busy_),
      previous_wait_(&rt::BlockingWait()),
      change_watch_(wait_) {
  rt::InstallBlockingWait(&wait_);
}

THostServices::~THostServices() { rt::InstallBlockingWait(previous_wait_); }

}  // namespace desk
