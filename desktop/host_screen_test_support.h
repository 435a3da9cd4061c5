// Test support of the desktop tests that drive the allocation screen in the real main
// window (tests only): signed in to a server on a loopback port, the module loaded, the
// screen opened through its export, and every message box written down and dismissed.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "desktop/form_peer.h"
#include "desktop/grid_view.h"
#include "desktop/host_services.h"
#include "desktop/main_window.h"
#include "desktop/search_dialog.h"
#include "desktop/sign_in.h"
#include "desktop/start_up.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/dbgrid.h"

namespace desk::testing {

class THostScreenTest : public ::testing::Test {
 protected:
  // Signs the demo operator in to the server on `port` (branch 0001), shows the main
  // window and opens the allocation screen in it.
  void OpenScreen(int port) {
    TSignIn sign_in{"127.0.0.1", port, "demo", "demo", "0001"};
    ASSERT_EQ(CheckSignIn(sign_in), "");
    ApplySignIn(sign_in);
    window_ = std::make_unique<TMainWindow>();
    // Every dialog is written down and dismissed (nobody answers in a test).
    window_->Services().Dialogs().OnDialogShown = [this](QDialog& dialog) {
      if (auto* box = qobject_cast<QMessageBox*>(&dialog)) dialogs_ += box->text().toStdString() + ";";
      QTimer::singleShot(0, &dialog, [&dialog] { dialog.reject(); });
    };
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    window_->LoadPackage(DefaultPackagePath());
    ASSERT_TRUE(window_->CallExport("IniProc"));
    screen_ = nullptr;
    for (rt::TForm* form : rt::Screen().Forms())
      if (form->ClassName() == "TfrmAlocaMao") screen_ = form;
    ASSERT_NE(screen_, nullptr);
  }
  void TearDown() override { window_.reset(); }

  // The next search lists are answered with keys, as a clerk would: Down `downs` times,
  // then Enter (the list's title goes to `title`); message boxes as above.
  void AnswerSearchListWith(int downs, std::string* title = nullptr) {
    window_->Services().Dialogs().OnDialogShown = [this, downs, title](QDialog& dialog) {
      auto* search = qobject_cast<TSearchDialog*>(&dialog);
      if (!search) {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) dialogs_ += box->text().toStdString() + ";";
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.reject(); });
        return;
      }
      if (title) *title = search->windowTitle().toStdString();
      QTimer::singleShot(0, search, [search, downs] {
        // The dialog's own focus: its window is the active one on a desktop.
        for (int i = 0; i < downs; ++i) QTest::keyClick(search->focusWidget(), Qt::Key_Down);
        QTest::keyClick(search->focusWidget(), Qt::Key_Return);
      });
      QTimer::singleShot(3000, search, [search] { search->reject(); });  // never hang the suite
    };
  }
  // The arrows to a column of the grid's current row, as a clerk moves along a row.
  void ToColumn(const char* field) {
    QWidget* view = Peer().GridView();
    const int target = Grid().Columns().IndexOfField(field);
    for (int moves = 0; moves < 32 && Grid().SelectedIndex() != target; ++moves)
      QTest::keyClick(view, Grid().SelectedIndex() > target ? Qt::Key_Left : Qt::Key_Right);
    ASSERT_EQ(Grid().SelectedIndex(), target) << "the arrows did not reach " << field;
  }

  TFormPeer& Peer() { return *window_->PeerOf(screen_); }
  template <class W = QWidget>
  W* Widget(const char* name) {
    return qobject_cast<W*>(Peer().PeerOf(screen_->FindComponent(name)));
  }
  rt::TDBGrid& Grid() { return *screen_->Find<rt::TDBGrid>("dbgPadrao"); }

  std::unique_ptr<TMainWindow> window_;
  rt::TForm* screen_ = nullptr;
  std::string dialogs_;
};

}  // namespace desk::testing
