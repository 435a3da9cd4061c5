// The host services the runtime reaches through services.h, in Qt: message dialogs
// (QMessageBox), the search list (TSearchDialog), the busy animation (an overlay with a
// spinner over the main window), the screen cursor (the application's override
// cursor) and the wait for a blocking server call (a worker thread while the window
// keeps painting). THostServices installs all of them for its lifetime.
#pragma once

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "desktop/change_watch.h"
#include "platform/runtime/ui/services.h"

namespace desk {

class TQtDialogService : public rt::IDialogService {
 public:
  // `parent` gives the dialogs their window (may be null).
  explicit TQtDialogService(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  rt::TModalResult MessageDlg(const std::string& text, rt::TMsgDlgType type, const rt::TMsgDlgButtons& buttons,
                              int help_context) override;
  void ShowError(const std::string& text) override;
  std::optional<int> PickList(const std::string& title, const std::string& empty_text,
                              const std::vector<rt::TPickColumn>& columns,
                              const std::vector<std::vector<std::string>>& rows) override;

  // Runs before each dialog is executed, with the dialog (tests answer it from here).
  std::function<void(QDialog&)> OnDialogShown;

 private:
  QPointer<QWidget> parent_;
};

// A translucent overlay over its parent with a turning arc and a line of text.
class TBusyOverlay : public QWidget, public rt::IBusyIndicator {
  Q_OBJECT
 public:
  explicit TBusyOverlay(QWidget* parent);
  void Show(int kind) override;
  void Hide() override;
  // The text for a kind of work (1: loading; others: processing).
  static QString KindText(int kind);
  int Kind() const { return kind_; }
  int Angle() const { return angle_; }
  // What the overlay says: the kind's text, or what a long wait is waiting for.
  QString Text() const { return waiting_.isEmpty() ? KindText(kind_) : waiting_; }
  // A wait that grows long says what it waits for (shown over the kind's text; the
  // overlay shows itself when nobody had shown it). Empty: back to the kind's text.
  void SetWaitingText(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTimer timer_;
  int angle_ = 0;
  int kind_ = 0;
  QString waiting_;
  bool shown_for_wait_ = false;
};

// The wait for blocking work (rt::IBlockingWait): the work runs on a worker thread while
// this thread runs a local event loop, so the overlay turns and the windows repaint.
// User input is kept out of `window` meanwhile: input from the window system waits in
// its queue (the loop excludes it) and reaches the screen after the call, as typed-
// ahead keys do on a blocked host; input delivered to the window directly is dropped,
// and so is a request to close it. After `announce_ms` the overlay says what the call
// waits for. A wait inside a wait (a dialog's loop during the first) runs inline.
class TQtBlockingWait : public QObject, public rt::IBlockingWait {
  Q_OBJECT
 public:
  TQtBlockingWait(QWidget* window, TBusyOverlay* overlay, int announce_ms = 1000);
  void Wait(const std::string& what, const std::function<void()>& work) override;
  bool Waiting() const { return waiting_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool InWindow(QObject* object) const;

  QPointer<QWidget> window_;
  QPointer<TBusyOverlay> overlay_;
  int announce_ms_;
  bool waiting_ = false;
};

class TQtCursorSink : public rt::ICursorSink {
 public:
  ~TQtCursorSink() override;
  void CursorChanged(rt::TCursor cursor) override;
  bool HourGlass() const { return overridden_; }

 private:
  bool overridden_ = false;
};

// Installs the four, and the change watch, for its lifetime (the previous ones come back after).
class THostServices {
 public:
  explicit THostServices(QWidget* main_window);
  ~THostServices();
  TQtDialogService& Dialogs() { return dialogs_; }
  TBusyOverlay& Busy() { return *busy_; }
  TQtCursorSink& Cursor() { return cursor_; }
  TQtBlockingWait& BlockingWait() { return wait_; }

 private:
  TQtDialogService dialogs_;
  TBusyOverlay* busy_;  // owned by the main window
  TQtCursorSink cursor_;
  rt::TServicesScope scope_;
  TQtBlockingWait wait_;
  rt::IBlockingWait* previous_wait_;
  TQtChangeWatch change_watch_;
};

}  // namespace desk
