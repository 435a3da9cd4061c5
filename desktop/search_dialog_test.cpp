// The search list dialog: incremental filter over every shown column, Enter chooses the
// selected row (its index among the rows given), Escape cancels, and a list without rows
// shows its empty-list text.
#include "desktop/search_dialog.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "desktop/host_services.h"
#include "desktop/qt_test_support.h"

namespace desk {
namespace {

const auto* const qt_env = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

const std::vector<rt::TPickColumn> kColumns = {{"Orçamento", 10}, {"Cliente", 20}};
const std::vector<std::vector<std::string>> kRows = {
    {"0000000012", "Buffet Aurora"}, {"0000000013", "Casa Dourada"}, {"0000000021", "Aurora Eventos"}};

TEST(SearchDialog, FilterNarrowsByAnyColumnAndEnterChoosesTheRowShown) {
  struct Case {
    const char* typed;
    std::vector<int> shown;
    std::optional<int> chosen_by_enter;
  };
  for (const Case& c : {Case{"", {0, 1, 2}, 0}, Case{"aurora", {0, 2}, 0}, Case{"21", {2}, 2}, Case{"dourada", {1}, 1},
                        Case{"nada", {}, std::nullopt}}) {
    TSearchDialog dialog("Orçamento", "Não há orçamento cadastrado.", kColumns, kRows);
    QTest::keyClicks(dialog.FilterBox(), c.typed);
    EXPECT_EQ(dialog.ShownRows(), c.shown) << c.typed;
    QTest::keyClick(dialog.FilterBox(), Qt::Key_Return);
    EXPECT_EQ(dialog.Chosen(), c.chosen_by_enter) << c.typed;
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.chosen_by_enter.has_value()) << c.typed;
  }
}

TEST(SearchDialog, ArrowsInTheFilterBoxMoveOverTheRowsShown) {
  TSearchDialog dialog("Orçamento", "", kColumns, kRows);
  QTest::keyClicks(dialog.FilterBox(), "aurora");
  QTest::keyClick(dialog.FilterBox(), Qt::Key_Down);
  QTest::keyClick(dialog.FilterBox(), Qt::Key_Down);  // stays on the last one shown
  QTest::keyClick(dialog.FilterBox(), Qt::Key_Return);
  EXPECT_EQ(dialog.Chosen(), 2);
}

TEST(SearchDialog, EmptyListShowsItsTextAndChoosesNothing) {
  TSearchDialog dialog("Orçamento", "Não há orçamento cadastrado.", kColumns, {});
  EXPECT_FALSE(dialog.Table()->isVisibleTo(&dialog));
  EXPECT_TRUE(dialog.EmptyLabel()->isVisibleTo(&dialog));
  EXPECT_EQ(dialog.EmptyLabel()->text(), QString::fromUtf8("Não há orçamento cadastrado."));
  QTest::keyClick(dialog.FilterBox(), Qt::Key_Return);
  EXPECT_EQ(dialog.Chosen(), std::nullopt);
}

// The professional list's columns as the allocation screen asks them: the last one says
// where someone is booked, and a clerk must read it without scrolling sideways.
TEST(SearchDialog, EveryColumnIsShownWithoutScrollingSideways) {
  const std::vector<rt::TPickColumn> columns = {{"Código", 20}, {"Nome do Profissional", 50}, {"Disponibilidade", 28}};
  const std::vector<std::vector<std::string>> rows = {{"45.997.418/0001-53", "Copa & Cia", "Livre"},
                                                      {"862.883.667-57", "Ana Lima", "Alocado: 12/01 COPEIRA 19:00"}};
  TSearchDialog dialog("Profissional", "", columns, rows);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTableWidget& table = *dialog.Table();
  EXPECT_EQ(table.horizontalScrollBar()->maximum(), 0) << "dialog " << dialog.width() << " px wide";
  const int last = table.columnCount() - 1;
  EXPECT_GE(table.columnWidth(last), table.fontMetrics().horizontalAdvance(table.item(1, last)->text()));
  EXPECT_LE(dialog.width(), dialog.screen()->availableGeometry().width());
}

// The keys go to whatever has the focus once the dialog is up, as a user's would.
void Type(const char* keys) { QTest::keyClicks(QApplication::focusWidget(), keys); }
void Press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

TEST(SearchDialog, TheKeyboardStartsOnTheListWithTheFirstRowSelected) {
  struct Case {
    const char* name;
    std::function<void()> keys;
    std::optional<int> chosen;
  };
  const Case cases[] = {
      {"Enter", [] { Press(Qt::Key_Return); }, 0},
      {"Down Down Enter",
       [] {
         Press(Qt::Key_Down);
         Press(Qt::Key_Down);
         Press(Qt::Key_Return);
       },
       2},
      {"Down Up Enter",
       [] {
         Press(Qt::Key_Down);
         Press(Qt::Key_Up);
         Press(Qt::Key_Return);
       },
       0},
      {"typing filters",
       [] {
         Type("dourada");
         Press(Qt::Key_Return);
       },
       1},
      {"typing then Down",
       [] {
         Type("aurora");
         Press(Qt::Key_Down);
         Press(Qt::Key_Return);
       },
       2},
      {"backspace widens",
       [] {
         Type("auroraX");
         Press(Qt::Key_Backspace);
         Press(Qt::Key_Down);
         Press(Qt::Key_Return);
       },
       2},
      {"Escape",
       [] {
         Press(Qt::Key_Down);
         Press(Qt::Key_Escape);
       },
       std::nullopt},
  };
  for (const Case& c : cases) {
    TSearchDialog dialog("Orçamento", "", kColumns, kRows);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog)) << c.name;
    ASSERT_EQ(QApplication::focusWidget(), dialog.Table()) << c.name;
    ASSERT_EQ(dialog.Table()->currentRow(), 0) << c.name;
    ASSERT_FALSE(dialog.Table()->selectedItems().isEmpty()) << c.name;
    c.keys();
    EXPECT_EQ(dialog.Chosen(), c.chosen) << c.name;
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.chosen.has_value()) << c.name;
    EXPECT_FALSE(dialog.isVisible()) << c.name << ": Enter or Escape closed it";
  }
}

TEST(DialogService, PickListAnswersTheChosenRowOrNothingOnEscape) {
  TQtDialogService service;
  service.OnDialogShown = [](QDialog& dialog) {
    auto* search = static_cast<TSearchDialog*>(&dialog);
    QTimer::singleShot(0, search, [search] {
      QTest::keyClicks(search->FilterBox(), "dourada");
      QTest::keyClick(search->FilterBox(), Qt::Key_Return);
    });
  };
  EXPECT_EQ(service.PickList("Orçamento", "", kColumns, kRows), 1);
  service.OnDialogShown = [](QDialog& dialog) {
    QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
  };
  EXPECT_EQ(service.PickList("Orçamento", "", kColumns, kRows), std::nullopt);
}

TEST(DialogService, ConfirmationOffersYesAndNoAndEscapeMeansNo) {
  TQtDialogService service;
  QStringList buttons;
  service.OnDialogShown = [&](QDialog& dialog) {
    for (auto* b : dialog.findChildren<QAbstractButton*>()) buttons << b->text().remove('&');
    QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
  };
  EXPECT_EQ(service.MessageDlg("Confirma?", rt::mtConfirmation, {rt::mbYes, rt::mbNo}, 0), rt::mrNo);
  buttons.sort();
  EXPECT_EQ(buttons, QStringList({QString::fromUtf8("Não"), "Sim"}));  // in the clerk's language
}

TEST(BusyOverlay, CoversItsParentAndTurnsWhileShown) {
  QWidget parent;
  parent.resize(300, 200);
  parent.show();
  TBusyOverlay overlay(&parent);
  overlay.Show(1);
  EXPECT_TRUE(overlay.isVisible());
  EXPECT_EQ(overlay.geometry(), parent.rect());
  EXPECT_EQ(TBusyOverlay::KindText(overlay.Kind()), QString::fromUtf8("Carregando…"));
  const int angle = overlay.Angle();
  QTest::qWait(150);
  EXPECT_NE(overlay.Angle(), angle) << "the spinner turns while the event loop runs";
  overlay.Hide();
  EXPECT_FALSE(overlay.isVisible());
}

TEST(CursorSink, HourGlassIsAnOverrideCursorUntilTheDefaultComesBack) {
  TQtCursorSink sink;
  sink.CursorChanged(rt::crHourGlass);
  sink.CursorChanged(rt::crHourGlass);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  sink.CursorChanged(rt::crDefault);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "one restore for one override";
}

}  // namespace
}  // namespace desk
