// The clerk's work in the real window (offscreen), keyboard only, against a server of
// the test's own: the defaults of a second-shift unit, and a save that failed, which
// Ctrl+P sends again before generating anything.
#include <gtest/gtest.h>
#include <QApplication>
#include <QTest>

#include "desktop/host_screen_test_support.h"
#include "desktop/qt_test_support.h"
#include "platform/runtime/blocking_wait.h"
#include "server/rpc/server_process_for_tests.h"

namespace desk {
namespace {

const auto* const qt_env = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

class HostSafety : public testing::THostScreenTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartServer()) << server_.Output();
    OpenScreen(server_.Port());
  }
  bool StartServer() {
    std::vector<std::string> args = {"--data", data_.path().string(), "--password-iterations", "1000"};
    args.insert(args.end(), {"--port", port_ ? std::to_string(port_) : "0"});
    if (!port_) args.emplace_back("--seed-demo");
    if (!server_.Start(args)) return false;
    port_ = server_.Port();
    return true;
  }

  srv::fakes::TempDir data_;
  srv::fakes::ServerProcess server_;
  int port_ = 0;
};

// The host's own wait, with the server killed right before the first SetForneMao leaves:
// the row's checks pass, its save fails.
class TKillBeforeSave : public rt::IBlockingWait {
 public:
  explicit TKillBeforeSave(srv::fakes::ServerProcess& server) : host_(rt::BlockingWait()), server_(server) {
    rt::InstallBlockingWait(this);
  }
  ~TKillBeforeSave() override { rt::InstallBlockingWait(&host_); }
  void Wait(const std::string& what, const std::function<void()>& work) override {
    if (armed_ && what.find("(SetForneMao)") != std::string::npos) {
      armed_ = false;
      server_.Kill();
    }
    host_.Wait(what, work);
  }

 private:
  rt::IBlockingWait& host_;
  srv::fakes::ServerProcess& server_;
  bool armed_ = true;
};

TEST_F(HostSafety, ASecondShiftUnitChosenFromTheListGetsItsShiftsDefaultsAndSaves) {
  ASSERT_TRUE(OpenBudget(*window_, "12", "1")) << dialogs_;
  auto* view = Peer().GridView();
  ASSERT_EQ(QApplication::focusWidget(), view);
  AnswerSearchListWith(0);  // Enter: the first of those free that evening, Garçons Aurora
  for (int i = 1; i < 6; ++i) QTest::keyClick(view, Qt::Key_Down);  // GARÇOM/02 #2, free
  rt::TClientDataSet& rows = *Grid().DataSet();
  ASSERT_EQ(rows.FieldByName("NMPRODUTO").AsString() + "/" + rows.FieldByName("NRTURNO").AsString(), "GARÇOM/02");
  ToColumn("NRINSJURFORN");
  QTest::keyClick(view, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClick(view, Qt::Key_Tab);
  EXPECT_EQ(rows.FieldByName("CDFORNECED").AsString(), "1003");
  EXPECT_EQ(rows.FieldByName("VRPAGOFORNORC").AsFloat(), 150.0);
  EXPECT_EQ(rows.FieldByName("HRINITUMOBRA").DisplayText(), "19:00");
  QTest::keyClick(view, Qt::Key_Down);  // posted and saved
  EXPECT_EQ(dialogs_, "");
  EXPECT_EQ(rows.ChangeCount(), 0);
}

TEST_F(HostSafety, AFailedSaveThenCtrlPGeneratesNothingAndKeepsTheChange) {
  ASSERT_TRUE(OpenBudget(*window_, "12", "2")) << dialogs_;  // complete: generation would go through
  auto* view = Peer().GridView();
  rt::TClientDataSet& rows = *Grid().DataSet();
  QTest::keyClick(view, Qt::Key_Down);
  ToColumn("VRPAGOFORNORC");
  QTest::keyClicks(view, "95");
  TKillBeforeSave kill(server_);
  QTest::keyClick(view, Qt::Key_Up);  // checked and posted; the save fails
  ASSERT_EQ(rows.ChangeCount(), 1) << dialogs_;
  dialogs_.clear();
  // The error box has closed: the window comes back (the window manager's job; the
  // offscreen platform has none), and with it the grid's focus, where short-cuts work.
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == view; }, 2000));

  QTest::keyClick(view, Qt::Key_P, Qt::ControlModifier);
  EXPECT_NE(dialogs_.find("Não foi possível conectar ao servidor de aplicação"), std::string::npos) << dialogs_;
  EXPECT_EQ(dialogs_.find("Conta gerada"), std::string::npos) << dialogs_;
  EXPECT_EQ(rows.ChangeCount(), 1);

  // The server back: F2 sends the change before it reloads; nothing was generated.
  ASSERT_TRUE(StartServer()) << server_.Output();
  dialogs_.clear();
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == view; }, 2000));
  QTest::keyClick(view, Qt::Key_F2);
  EXPECT_EQ(dialogs_, "");
  EXPECT_EQ(rows.ChangeCount(), 0);
  rows.SetRecNo(2);
  EXPECT_EQ(rows.FieldByName("VRPAGOFORNORC").AsFloat(), 95.0);
  EXPECT_EQ(rows.FieldByName("IDCONTAGERADA").AsString(), "N");
}

}  // namespace
}  // namespace desk
