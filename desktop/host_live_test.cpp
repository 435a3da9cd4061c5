// Live updates in the real window (offscreen) against a server of the test's own: a save
// made through a second session appears in the open grid within a second; while the
// clerk edits a row it does not, and the screen's notice says who changed what.
#include <chrono>

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QTest>

#include "desktop/host_screen_test_support.h"
#include "desktop/qt_test_support.h"
#include "server/rpc/saving_clerks_for_tests.h"

namespace desk {
namespace {

const auto* const qt_env = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);
using Clock = std::chrono::steady_clock;

class HostLive : public testing::THostScreenTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start({"--data", data_.path().string(), "--password-iterations", "1000", "--port", "0",
                               "--seed-demo"}))
        << server_.Output();
    OpenScreen(server_.Port());
    srv::fakes::SignInToLoopback(colleague_, server_.Port(), 5, 30);
  }
  // The colleague's save of 1001's amount on 12/01 (GARÇOM, shift 01), one step up.
  void ColleagueSaves(int from) {
    const clib::ServerAnswer answer = colleague_.Call("SetForneMao", {Owned().Save(from)});
    ASSERT_TRUE(answer.ok) << answer.error_text;
  }
  static const srv::testing::OwnedAllocation& Owned() { return srv::testing::DemoOwnedAllocations().front(); }
  // The grid's record of the colleague's unit.
  int RowOfOwned() {
    rt::TClientDataSet& rows = *Grid().DataSet();
    for (int r = 1; r <= rows.RecordCount(); ++r) {
      rows.SetRecNo(r);
      if (rows.FieldByName("CDFORNECED").AsString() == Owned().unit.supplier &&
          rows.FieldByName("NRTURNO").AsString() == Owned().shift)
        return r;
    }
    return 0;
  }

  srv::fakes::TempDir data_;
  srv::fakes::ServerProcess server_;
  clib::TNetConnection colleague_;
};

TEST_F(HostLive, AColleaguesSaveAppearsInTheOpenGridAndWaitsWhileTheClerkEdits) {
  ASSERT_TRUE(OpenBudget(*window_, "12", "1")) << dialogs_;
  rt::TClientDataSet& rows = *Grid().DataSet();
  auto* view = Peer().GridView();
  ASSERT_EQ(QApplication::focusWidget(), view);
  QTest::keyClick(view, Qt::Key_Down);  // the clerk's place: row 2
  const int place = rows.RecNo();
  const int owned = RowOfOwned();
  ASSERT_GT(owned, 0);
  rows.SetRecNo(place);

  const auto saved = Clock::now();
  ColleagueSaves(0);
  const bool appeared = QTest::qWaitFor(
      [&] {
        const int at = rows.RecNo();
        rows.SetRecNo(owned);
        const double amount = rows.FieldByName("VRPAGOFORNORC").AsFloat();
        rows.SetRecNo(at);
        return amount == 121.0;
      },
      3000);
  const double waited_ms = std::chrono::duration<double, std::milli>(Clock::now() - saved).count();
  ASSERT_TRUE(appeared) << "the colleague's amount never reached the grid";
  EXPECT_LT(waited_ms, 1000.0);
  EXPECT_EQ(rows.RecNo(), place) << "the clerk's row is kept";
  EXPECT_EQ(QApplication::focusWidget(), view);

  // The clerk types an amount; the colleague saves again: the grid does not move.
  ToColumn("VRPAGOFORNORC");
  QTest::keyClicks(view, "99");
  ASSERT_EQ(rows.State(), rt::dsEdit);
  ColleagueSaves(1);
  auto* notice = Widget<QLabel>("lblAviso");
  ASSERT_NE(notice, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !notice->text().isEmpty(); }, 3000)) << "no notice";
  EXPECT_TRUE(notice->text().startsWith("demo alterou GARÇOM às ")) << notice->text().toStdString();
  EXPECT_TRUE(notice->isEnabled()) << "the notice is read while the filter panel is greyed out for the edit";
  EXPECT_EQ(rows.State(), rt::dsEdit) << "the edit in progress is untouched";
  EXPECT_EQ(rows.RecNo(), place);
  EXPECT_EQ(dialogs_, "");
}

}  // namespace
}  // namespace desk
