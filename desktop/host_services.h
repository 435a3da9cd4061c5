// The host services the runtime reaches through services.h, in Qt: message dialogs
// (QMessageBox), the search list (TSearchDialog), the busy animation (an overlay with a
// spinner over the main window) and the screen cursor (the application's override
// cursor). THostServices installs all of them for its lifetime.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

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

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTimer timer_;
  int angle_ = 0;
  int kind_ = 0;
};

class TQtCursorSink : public rt::ICursorSink {
 public:
  ~TQtCursorSink() override;
  void CursorChanged(rt::TCursor cursor) override;
  bool HourGlass() const { return overridden_; }

 private:
  bool overridden_ = false;
};

// Installs the three for its lifetime (the previous ones come back after).
class THostServices {
 public:
  explicit THostServices(QWidget* main_window);
  TQtDialogService& Dialogs() { return dialogs_; }
  TBusyOverlay& Busy() { return *busy_; }
  TQtCursorSink& Cursor() { return cursor_; }

 private:
  TQtDialogService dialogs_;
  TBusyOverlay* busy_;  // owned by the main window
  TQtCursorSink cursor_;
  rt::TServicesScope scope_;
};

}  // namespace desk
