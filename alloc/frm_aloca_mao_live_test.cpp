// Live updates as the clerk meets them: another clerk's change heard while the grid is
// browsing reloads it in place (row, column and focus kept); heard while a row is edited
// or a save is pending, it moves nothing and a notice names who changed what, until F2.
// The host's watch is scripted here as the host drives it: a batch handed over on the
// UI thread.
#include <gtest/gtest.h>

#include "alloc/screen_test_support.h"
#include "platform/clientlib/change_watch.h"

namespace {

using alloc::testing::Aux;
using alloc::testing::kProf;
using alloc::testing::kValor;

class TScriptedWatch : public clib::IChangeWatch {
 public:
  void Watch(const clib::TChangeKey& key, clib::TNetConnectionComponent&, THeard heard) override {
    keys.push_back(key);
    heard_ = std::move(heard);
  }
  void Unwatch() override { heard_ = nullptr; }
  // What the host does with a batch once the screen is free; false when nobody listens.
  bool HandOver(const std::vector<clib::TChange>& changes) {
    if (!heard_) return false;
    THeard heard = heard_;
    heard(changes);
    return true;
  }
  std::vector<clib::TChangeKey> keys;

 private:
  THeard heard_;
};

// Installed before the fixture opens its budget.
struct WatchInstalled {
  WatchInstalled() { clib::InstallChangeWatch(&watch); }
  ~WatchInstalled() { clib::InstallChangeWatch(nullptr); }
  TScriptedWatch watch;
};

clib::TChange AnaAllocated() {
  clib::TChange change;
  change.id = 41;
  change.at = 1765460580;  // any time: the notice shows it as hh:mm
  change.operator_id = "ana";
  change.action = "ALOCACAO";
  change.shift = "01";
  change.product = "GAR";
  change.new_supplier = "1002";
  return change;
}

class LiveTest : public alloc::testing::EditingScreenTest {
 protected:
  bool Click(const char* control) { return rt::Input::Click(F().Control(control)); }
  std::string Notice() { return F().Comp<rt::TLabel>("lblAviso").Caption(); }
  // Another clerk fills the free unit 2 on the server.
  void AnotherClerkFillsUnitTwo() {
    Server().allocations = {Aux("01", "GAR", "GARÇOM", 2, "1001", 150.0), Aux("01", "GAR", "GARÇOM", 2, "1002", 90.0)};
  }
  TScriptedWatch& Watch() { return installed_.watch; }

 private:
  WatchInstalled installed_;
};

TEST_F(LiveTest, TheLoadedBudgetSequenceIsWatchedFromJustBeforeItsLoad) {
  ASSERT_FALSE(Watch().keys.empty());
  const clib::TChangeKey& key = Watch().keys.back();
  EXPECT_EQ(key.branch, Field("CDFILIAL"));
  EXPECT_EQ(key.number, Field("NRORCAEVENTO"));
  EXPECT_EQ(key.sequence, Field("NRSEQORCAEVE"));
  EXPECT_EQ(key.number, "0000000012");
}

TEST_F(LiveTest, ABrowsingGridReloadsInPlaceKeepingRowColumnAndFocus) {
  ASSERT_TRUE(Grid().SelectCell(2, kValor));
  ASSERT_EQ(Field("CDFORNECED"), "");
  AnotherClerkFillsUnitTwo();
  ASSERT_TRUE(Watch().HandOver({AnaAllocated()}));
  const std::string journal = Journal();
  EXPECT_NE(journal.find("GetAlocaForne"), std::string::npos);
  EXPECT_EQ(journal.find("Busy"), std::string::npos) << "no busy animation for a refresh nobody asked for";
  EXPECT_EQ(Rows().RecNo(), 2);
  EXPECT_EQ(Field("CDFORNECED"), "1002") << "the change is on screen";
  EXPECT_EQ(Column(), "VRPAGOFORNORC");
  EXPECT_EQ(Focused(), "dbgPadrao");
  EXPECT_EQ(State(), "browse");
  EXPECT_EQ(Notice(), "");
  EXPECT_TRUE(F().Control("sbtGeraConta").Enabled()) << "the buttons follow their rule";
}

TEST_F(LiveTest, WhileARowIsEditedOrASaveIsPendingNothingMovesAndANoticeSaysWhoChangedWhat) {
  struct Case {
    const char* name;
    bool save_fails;  // else the row stays in edit
    const char* state;
  };
  const std::vector<Case> cases = {
      {"a row being edited", false, "edit"},
      {"a save that failed, waiting to be sent again", true, "browse"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string before = GridRows();  // read before the edit: walking the rows would post it
    if (c.save_fails) {
      Server().fail["SetForneMao"] = "Servidor indisponível.";
      Server().fail_code = 0;
    }
    ASSERT_TRUE(Grid().SelectCell(1, kValor));
    ASSERT_TRUE(Grid().TypeText("175"));
    if (c.save_fails) {
      Grid().Key(rt::VK_DOWN);
      ASSERT_EQ(Rows().ChangeCount(), 1);
      Server().fail.clear();
    }
    const int row = Rows().RecNo();
    Journal();
    AnotherClerkFillsUnitTwo();
    ASSERT_TRUE(Watch().HandOver({AnaAllocated()}));
    EXPECT_EQ(Journal(), "") << "no call: the grid is not reloaded";
    EXPECT_EQ(State(), c.state);
    EXPECT_EQ(Rows().RecNo(), row);
    EXPECT_EQ(Focused(), "dbgPadrao");
    const std::string notice = Notice();
    EXPECT_EQ(notice.rfind("ana alocou GARÇOM às ", 0), 0U) << notice;
    EXPECT_NE(notice.find(" — F2 atualiza"), std::string::npos) << notice;
    if (Rows().State() == rt::dsEdit) Grid().Key(rt::VK_ESCAPE);  // the typed amount dropped: the rows as before
    EXPECT_EQ(GridRows(), before) << "unit 2 is still free on screen";

    // Saved (or left), then F2: the change comes in and the notice goes.
    if (Rows().State() == rt::dsEdit) Grid().Key(rt::VK_DOWN);
    ASSERT_TRUE(Click("sbtVerificar"));
    EXPECT_EQ(Rows().ChangeCount(), 0);
    EXPECT_EQ(Notice(), "");
    EXPECT_NE(GridRows().find("1002"), std::string::npos) << GridRows();
    Server().allocations = {Aux("01", "GAR", "GARÇOM", 2, "1001", 150.0)};
    ASSERT_TRUE(Click("sbtVerificar"));
    Journal();
  }
}

TEST_F(LiveTest, SeveralChangesAreToldTogetherAndAClosedScreenHearsNothing) {
  ASSERT_TRUE(Grid().SelectCell(1, kValor));
  ASSERT_TRUE(Grid().TypeText("175"));
  clib::TChange second = AnaAllocated();
  second.id = 42;
  second.action = "ALTERACAO";
  ASSERT_TRUE(Watch().HandOver({AnaAllocated(), second}));
  EXPECT_EQ(Notice().rfind("ana alterou 2 unidades às ", 0), 0U) << Notice();
  Grid().Key(rt::VK_ESCAPE);
  rt::Input::CloseForm(F());
  EXPECT_FALSE(Watch().HandOver({AnaAllocated()})) << "closing stops the watch";
}

}  // namespace
