// The desktop host against the real module library and the real application server
// (a fresh SQLite database with the demo data on a loopback port): open the allocation
// screen through the module's exports, type a demo budget into the native widgets, leave
// the panel, move in the grid, and read what the windows show.
#include <algorithm>

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "desktop/form_peer.h"
#include "desktop/grid_view.h"
#include "desktop/host_services.h"
#include "desktop/main_window.h"
#include "desktop/qt_canvas.h"
#include "desktop/host_screen_test_support.h"
#include "desktop/qt_test_support.h"
#include "desktop/report_view.h"
#include "desktop/search_dialog.h"
#include "desktop/sign_in.h"
#include "desktop/start_up.h"
#include "platform/clientlib/session.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/dbgrid.h"
#include "server/rpc/server_process_for_tests.h"

namespace desk {
namespace {

const auto* const qt_env = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

class HostSession : public testing::THostScreenTest {
 protected:
  static void SetUpTestSuite() {
    server_ = new srv::fakes::ServerProcess;
    data_ = new srv::fakes::TempDir;
    if (!server_->Start(
            {"--port", "0", "--data", data_->path().string(), "--seed-demo", "--password-iterations", "1000"}))
      FAIL() << "alloc-server did not start: " << server_->Output();
  }
  static void TearDownTestSuite() {
    delete server_;
    delete data_;
  }

  void SetUp() override {
    ASSERT_GT(server_->Port(), 0);
    OpenScreen(server_->Port());
  }

  std::string EnabledButtons() {
    std::string out;
    for (const char* name : {"sbtLimpaForn", "sbtGeraConta", "sbtCancelaConta"})
      if (Widget(name)->isEnabled()) out += std::string(name) + " ";
    for (const char* name : {"mnuLimpaForn", "mnuGeraConta", "mnuCancelaConta"})
      if (Peer().ActionOf(screen_->Find<rt::TMenuItem>(name))->isEnabled()) out += std::string(name) + " ";
    return out;
  }

  static srv::fakes::ServerProcess* server_;
  static srv::fakes::TempDir* data_;
};

srv::fakes::ServerProcess* HostSession::server_ = nullptr;
srv::fakes::TempDir* HostSession::data_ = nullptr;

TEST_F(HostSession, ScreenOpensAsAnMdiChildWithItsWidgetsAtTheLayoutBounds) {
  QMdiSubWindow* sub = window_->WindowOf(screen_);
  ASSERT_NE(sub, nullptr);
  EXPECT_TRUE(sub->isVisible());
  EXPECT_EQ(sub->windowTitle(), QString::fromUtf8("Alocação de Mão de Obra"));
  auto* number = Widget<QLineEdit>("edtNrOrcamento");
  ASSERT_NE(number, nullptr);
  EXPECT_EQ(number->geometry(), QRect(98, 4, 81, 21));
  EXPECT_EQ(number->palette().color(QPalette::Base), ToQColor(rt::clInfoBk)) << "info background";
  EXPECT_EQ(QApplication::focusWidget(), number) << "the screen's active control has the focus";
  EXPECT_EQ(EnabledButtons(), "") << "all disabled until a budget is loaded";
  // A second opening brings the same screen forward.
  ASSERT_TRUE(window_->CallExport("CriaAlocaMaoObra"));
  EXPECT_EQ(window_->Mdi()->subWindowList().size(), 1);
}

TEST_F(HostSession, TypingGoesThroughTheRuntimeWhichOwnsTheText) {
  auto* number = Widget<QLineEdit>("edtNrOrcamento");
  QTest::keyClicks(number, "12a");  // the box is upper case: the runtime cases the letter
  EXPECT_EQ(screen_->Find<rt::TEdit>("edtNrOrcamento")->Text(), "12A");
  EXPECT_EQ(number->text(), "12A");
  QTest::keyClick(number, Qt::Key_Backspace);
  EXPECT_EQ(number->text(), "12");
}

TEST_F(HostSession, TabLeavesTheNumberThroughTheRuntimeWhichPadsItAndPresetsTheSequence) {
  auto* number = Widget<QLineEdit>("edtNrOrcamento");
  QTest::keyClicks(number, "12");
  QTest::keyClick(number, Qt::Key_Tab);
  EXPECT_EQ(dialogs_, "");
  EXPECT_EQ(screen_->ActiveControl()->Name(), "edtSeq");
  EXPECT_EQ(QApplication::focusWidget(), Widget("edtSeq"));
  EXPECT_EQ(number->text(), "0000000012");
  EXPECT_EQ(Widget<QLineEdit>("edtSeq")->text(), "00");
}

TEST_F(HostSession, TabIntoThePresetSequenceSelectsItSoTheTypedSequenceReplacesIt) {
  auto* number = Widget<QLineEdit>("edtNrOrcamento");
  auto* sequence = Widget<QLineEdit>("edtSeq");
  QTest::keyClicks(number, "12");
  QTest::keyClick(number, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), sequence);
  EXPECT_EQ(sequence->selectedText(), "00") << "the preset is selected, as the runtime's text is";
  QTest::keyClicks(QApplication::focusWidget(), "01");
  EXPECT_EQ(screen_->Find<rt::TEdit>("edtSeq")->Text(), "01");
  EXPECT_EQ(sequence->text(), "01");
  EXPECT_FALSE(sequence->hasSelectedText());
  // Tab on into the grid: the sequence exists, so the budget loads.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(dialogs_, "") << "no \"Sequencial não cadastrado.\"";
  EXPECT_EQ(Grid().DataSet()->RecordCount(), 8);
  // The keyboard is in the grid now: the arrows move its row.
  EXPECT_EQ(QApplication::focusWidget(), Peer().GridView());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(Grid().DataSet()->RecNo(), 2);
}

TEST_F(HostSession, SearchButtonOpensTheSearchListAndTheChoiceFillsTheNumber) {
  std::string shown;
  window_->Services().Dialogs().OnDialogShown = [&](QDialog& dialog) {
    auto* search = qobject_cast<TSearchDialog*>(&dialog);
    if (!search) {
      QTimer::singleShot(0, &dialog, [&dialog] { dialog.reject(); });
      return;
    }
    shown = search->windowTitle().toStdString() + " rows=" + std::to_string(search->ShownRows().size());
    QTimer::singleShot(0, search, [search] {
      QTest::keyClicks(search->FilterBox(), "0000000013");
      QTest::keyClick(search->FilterBox(), Qt::Key_Return);
    });
    QTimer::singleShot(3000, search, [search] { search->reject(); });  // never hang the suite
  };
  auto* button = Widget<QToolButton>("btnNrOrcamento");
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_NE(shown.find("rows="), std::string::npos);
  EXPECT_EQ(Widget<QLineEdit>("edtNrOrcamento")->text(), "0000000013") << shown;
}

TEST_F(HostSession, DemoBudgetLoadsTheGridAndSetsTheButtons) {
  ASSERT_TRUE(OpenBudget(*window_, "12", "1")) << dialogs_;
  EXPECT_EQ(dialogs_, "");
  EXPECT_EQ(Widget<QLineEdit>("edtNrOrcamento")->text(), "0000000012");
  EXPECT_EQ(Widget<QLineEdit>("edtSeq")->text(), "01");
  EXPECT_EQ(Grid().DataSet()->RecordCount(), 8);
  ASSERT_NE(Widget<QLabel>("dbeCliente"), nullptr);
  EXPECT_EQ(Widget<QLabel>("dbeCliente")->text(), QString::fromUtf8("Buffet Aurora"));
  EXPECT_EQ(EnabledButtons(), "sbtLimpaForn sbtGeraConta mnuLimpaForn mnuGeraConta ");

  // Moving in the grid with the keyboard of the native view.
  auto* view = Peer().GridView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(QApplication::focusWidget(), view);
  QTest::keyClick(view, Qt::Key_Down);
  EXPECT_EQ(Grid().DataSet()->RecNo(), 2);
  const int column = Grid().SelectedIndex();
  QTest::keyClick(view, Qt::Key_Right);
  EXPECT_EQ(Grid().SelectedIndex(), column + 1);
  // A click on a cell selects it.
  const rt::TRect cell = Grid().CellRect(3, 1);
  QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(cell.Left + 3, cell.Top + 3));
  EXPECT_EQ(Grid().DataSet()->RecNo(), Grid().TopRow() + 3);
  EXPECT_EQ(Grid().SelectedIndex(), 1);
}

TEST_F(HostSession, MenuShortCutReachesTheScreensItemFromTheGrid) {
  ASSERT_TRUE(OpenBudget(*window_, "12", "1")) << dialogs_;
  QAction* clear = Peer().ActionOf(screen_->Find<rt::TMenuItem>("mnuLimpaForn"));
  ASSERT_TRUE(clear->isEnabled());
  EXPECT_EQ(clear->shortcut(), QKeySequence("Ctrl+L"));
  QSignalSpy triggered(clear, &QAction::triggered);
  QTest::keyClick(Peer().GridView(), Qt::Key_L, Qt::ControlModifier);
  EXPECT_EQ(triggered.count(), 1);
  // A disabled item's short-cut does nothing.
  QAction* cancel = Peer().ActionOf(screen_->Find<rt::TMenuItem>("mnuCancelaConta"));
  QSignalSpy refused(cancel, &QAction::triggered);
  QTest::keyClick(Peer().GridView(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(refused.count(), 0);
}

TEST_F(HostSession, CellEditorMirrorsTheGridAndEscapeCancelsIt) {
  ASSERT_TRUE(OpenBudget(*window_, "12", "1")) << dialogs_;
  auto* view = Peer().GridView();
  const int amount = Grid().Columns().IndexOfField("VRPAGOFORNORC");
  const rt::TRect cell = Grid().CellRect(1, amount);
  QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(cell.Left + 3, cell.Top + 3));
  ASSERT_EQ(Grid().SelectedIndex(), amount) << dialogs_;
  const std::string before = Grid().SelectedField()->AsString();
  QTest::keyClicks(view, "15");
  EXPECT_TRUE(view->Editor()->isVisible());
  EXPECT_EQ(view->Editor()->text(), "15");
  EXPECT_EQ(view->Editor()->text().toStdString(), Grid().EditorText());
  QTest::keyClick(view, Qt::Key_Escape);
  EXPECT_FALSE(view->Editor()->isVisible());
  EXPECT_EQ(Grid().SelectedField()->AsString(), before);
  EXPECT_EQ(dialogs_, "");
}

TEST_F(HostSession, PaymentColumnOffersItsPickListAndTheChoiceReachesTheField) {
  ASSERT_TRUE(OpenBudget(*window_, "12", "1")) << dialogs_;
  auto* view = Peer().GridView();
  const int payment = Grid().Columns().IndexOfField("IDTIPOPAGAFORN");
  const rt::TRect cell = Grid().CellRect(0, payment);
  QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(cell.Left + 3, cell.Top + 3));
  ASSERT_EQ(Grid().SelectedIndex(), payment) << dialogs_;
  EXPECT_TRUE(view->PickButton()->isVisible());
  EXPECT_FALSE(view->EllipsisButton()->isVisible());
  const std::string before = Grid().SelectedField()->AsString();
  // The keyboard alone: Alt+Down opens the list under the cell, the second item, Enter.
  QTest::keyClick(view, Qt::Key_Down, Qt::AltModifier);
  ASSERT_TRUE(view->PickListView()->isVisible()) << dialogs_;
  QTest::keyClick(view, Qt::Key_Home);
  QTest::keyClick(view, Qt::Key_Down);  // the second item
  EXPECT_EQ(view->PickListView()->currentRow(), 1);
  QTest::keyClick(view, Qt::Key_Return);
  EXPECT_FALSE(view->PickListView()->isVisible());
  // The choice went through the grid into the field; the editor shows what the field took.
  EXPECT_NE(Grid().SelectedField()->AsString(), before) << dialogs_;
  EXPECT_TRUE(view->Editor()->isVisible());
  EXPECT_EQ(view->Editor()->text().toStdString(), Grid().EditorText());
  // The professional's column offers the ellipsis instead.
  const int professional = Grid().Columns().IndexOfField("NRINSJURFORN");
  QTest::keyClick(view, Qt::Key_Escape);
  const rt::TRect other = Grid().CellRect(0, professional);
  QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(other.Left + 3, other.Top + 3));
  EXPECT_TRUE(view->EllipsisButton()->isVisible()) << dialogs_;
}

TEST_F(HostSession, ReportFormOpensBesideAndItsPrintButtonPreviewsTheBudgetsReport) {
  ASSERT_TRUE(OpenBudget(*window_, "12", "1")) << dialogs_;
  ASSERT_TRUE(window_->CallExport("CriaRelAlocMObra"));
  rt::TForm* report = nullptr;
  for (rt::TForm* form : rt::Screen().Forms())
    if (form->ClassName() == "TfrmRelAlocMObra") report = form;
  ASSERT_NE(report, nullptr);
  ASSERT_NE(window_->WindowOf(report), nullptr);
  EXPECT_EQ(window_->Mdi()->subWindowList().size(), 2);
  TFormPeer& peer = *window_->PeerOf(report);
  auto* copy = peer.PeerOf(report->FindComponent("ckbMostrarCopia"));
  auto* from = peer.PeerOf(report->FindComponent("edtSeqDe"));
  ASSERT_NE(copy, nullptr);
  ASSERT_TRUE(from->isEnabled());
  QTest::mouseClick(copy, Qt::LeftButton, {}, QPoint(4, copy->height() / 2));
  EXPECT_TRUE(report->Find<rt::TCheckBox>("ckbMostrarCopia")->Checked());
  EXPECT_TRUE(qobject_cast<QAbstractButton*>(copy)->isChecked());
  EXPECT_FALSE(from->isEnabled()) << "the screen's handler disabled the range";

  // Printing runs the report on the server and opens the print preview of its rows.
  std::string params, names, total;
  int pages = 0;
  window_->Services().Dialogs().OnDialogShown = [&](QDialog& dialog) {
    auto* preview = qobject_cast<TReportPreview*>(&dialog);
    if (preview) {
      for (const auto& [name, value] : preview->Run().params) params += name + "=" + value.value_or("(nulo)") + " ";
      for (const clib::TReportLine& line : preview->Document().lines) {
        if (line.kind == clib::TReportLineKind::Detail) names += line.cells[0] + ";";
        if (line.kind == clib::TReportLineKind::Total && line.level < 0) total = line.cells[0];
      }
    }
    QTimer::singleShot(0, &dialog, [&dialog, preview, &pages] {
      if (preview && QTest::qWaitFor([&] { return preview->PagesPainted() > 0; }, 5000))
        pages = preview->PagesPainted();
      dialog.reject();
    });
  };
  auto* print = qobject_cast<QToolButton*>(peer.PeerOf(report->FindComponent("sbtImprimir")));
  ASSERT_NE(print, nullptr);
  QTest::mouseClick(print, Qt::LeftButton);
  EXPECT_NE(params.find("P_CDFILIAL=0001 P_NRORCAEVENTO=0000000012 P_NRSEQDE=01 P_NRSEQATE=01 P_IDRESULTANTE=S"),
            std::string::npos)
      << params;
  // The resulting copy: both sequences of budget 12, whatever the range.
  EXPECT_NE(names.find("João Carlos da Silva;"), std::string::npos) << names;
  EXPECT_NE(names.find("Lúcia Helena Ferreira;"), std::string::npos) << names;
  EXPECT_EQ(total, "870,00");
  EXPECT_EQ(pages, 1) << "the preview painted the report";
}

TEST_F(HostSession, BudgetWithPayablesPaintsTheSelectedCellInTheHighlightColour) {
  ASSERT_TRUE(OpenBudget(*window_, "13", "1")) << dialogs_;
  auto* view = Peer().GridView();
  ASSERT_NE(view, nullptr);
  const QImage image = view->grab().toImage();
  const rt::TRect selected = Grid().CellRect(Grid().DataSet()->RecNo() - Grid().TopRow(), Grid().SelectedIndex());
  EXPECT_EQ(QColor(image.pixel(selected.Left + 1, selected.Bottom - 2)), ToQColor(rt::clHighlight));
  const rt::TRect title = Grid().CellRect(-1, 1);
  EXPECT_EQ(QColor(image.pixel(title.Right - 2, title.Top + 1)), ToQColor(rt::clBtnFace));
  EXPECT_EQ(EnabledButtons(), "sbtCancelaConta mnuCancelaConta ");
}

// The real canvas, recording the texts the screen's drawing handler writes on it.
class TTextRecordingCanvas : public TQtCanvas {
 public:
  using TQtCanvas::TQtCanvas;
  void TextRect(const rt::TRect& rect, int x, int y, const std::string& text) override {
    texts.push_back(text);
    TQtCanvas::TextRect(rect, x, y, text);
  }
  void TextOut(int x, int y, const std::string& text) override {
    texts.push_back(text);
    TQtCanvas::TextOut(x, y, text);
  }
  std::vector<std::string> texts;
};

TEST_F(HostSession, AClerkAllocatesAProfessionalWithTheKeyboardAlone) {
  ASSERT_TRUE(OpenBudget(*window_, "12", "1")) << dialogs_;
  auto* view = Peer().GridView();
  ASSERT_EQ(QApplication::focusWidget(), view);
  // The search list is answered with keys: Enter on the first professional, who is free
  // at the unit's time (those booked then come after).
  std::string search_title;
  AnswerSearchListWith(0, &search_title);
  QTest::keyClick(view, Qt::Key_Down);  // COPEIRA/02 #2, a free unit
  ToColumn("NRINSJURFORN");
  QTest::keyClick(view, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(search_title, "Profissional");
  rt::TClientDataSet& rows = *Grid().DataSet();
  EXPECT_EQ(rows.FieldByName("CDFORNECED").AsString(), "1006");
  QTest::keyClick(view, Qt::Key_Tab);   // validated with the server, the item's defaults
  QTest::keyClick(view, Qt::Key_Down);  // posted and saved
  EXPECT_EQ(dialogs_, "");
  EXPECT_EQ(rows.ChangeCount(), 0);
  EXPECT_EQ(rows.State(), rt::dsBrowse);
  QTest::keyClick(view, Qt::Key_Up);  // back to the row: a new amount, typed
  ToColumn("VRPAGOFORNORC");
  QTest::keyClicks(view, "1234,5");
  QTest::keyClick(view, Qt::Key_Down);
  EXPECT_EQ(dialogs_, "");

  QTest::keyClick(view, Qt::Key_F2);  // reload from the server
  ASSERT_EQ(rows.RecordCount(), 8);
  rows.SetRecNo(2);
  EXPECT_EQ(rows.FieldByName("CDFORNECED").AsString(), "1006");

  // What the grid draws on the real canvas: display texts, masks and the amount format.
  QImage image(view->size(), QImage::Format_RGB32);
  QPainter painter(&image);
  TTextRecordingCanvas canvas(painter, view->font());
  Grid().Paint(canvas);
  auto drawn = [&](const char* text) {
    return std::find(canvas.texts.begin(), canvas.texts.end(), text) != canvas.texts.end();
  };
  for (const char* text :
       {"EM FOLHA", "GERAR CONTA", "08:00", "19:00", "120,00", "1.234,50", "45.997.418/0001-53", "529.982.247-25"})
    EXPECT_TRUE(drawn(text)) << text;
}

TEST_F(HostSession, UnknownBudgetShowsTheServersRefusalAndKeepsTheFocus) {
  EXPECT_FALSE(OpenBudget(*window_, "777", "1"));
  EXPECT_EQ(dialogs_, "Orçamento não cadastrado.;");
  // The error dialog has closed: the window comes back (the window manager's job; the
  // offscreen platform has none) with the runtime's focus.
  window_->activateWindow();
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == Widget("edtNrOrcamento"); }, 2000))
      << "qt focus: "
      << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "none") << " active: "
      << (QApplication::activeWindow() ? QApplication::activeWindow()->objectName().toStdString() : "none")
      << " runtime focus: " << (screen_->ActiveControl() ? screen_->ActiveControl()->Name() : "none")
      << " active form: " << (rt::Screen().ActiveForm() == screen_);
}

TEST_F(HostSession, ClosingTheWindowLetsTheRuntimeFreeTheScreen) {
  ASSERT_TRUE(OpenBudget(*window_, "12", "1")) << dialogs_;  // the grid has the focus
  window_->WindowOf(screen_)->close();
  EXPECT_EQ(dialogs_, "") << "Qt's own focus moves while the window goes reach no runtime control";
  QApplication::processEvents();
  for (rt::TForm* form : rt::Screen().Forms()) EXPECT_NE(form->ClassName(), "TfrmAlocaMao");
  EXPECT_EQ(window_->WindowOf(screen_), nullptr);
  ASSERT_TRUE(window_->CallExport("IniProc")) << "a new screen after the close";
}

TEST_F(HostSession, ClosingTheMainWindowClosesTheScreensFirst) {
  ASSERT_TRUE(window_->CallExport("CriaRelAlocMObra"));
  EXPECT_TRUE(window_->close());
  for (rt::TForm* form : rt::Screen().Forms()) ADD_FAILURE() << form->ClassName() << " left behind";
}

TEST(SignIn, WrongPasswordOrBranchIsRefused) {
  srv::fakes::ServerProcess server;
  srv::fakes::TempDir data;
  ASSERT_TRUE(
      server.Start({"--port", "0", "--data", data.path().string(), "--seed-demo", "--password-iterations", "1000"}));
  EXPECT_NE(CheckSignIn({"127.0.0.1", server.Port(), "demo", "wrong", "0001"}), "");
  EXPECT_EQ(CheckSignIn({"127.0.0.1", server.Port(), "demo", "demo", "9999"}),
            "O operador não tem acesso à filial 9999.");
  EXPECT_EQ(CheckSignIn({"127.0.0.1", server.Port(), "demo", "demo", "0001"}), "");

  // The dialog stays open with the refusal under its fields.
  TSignInDialog dialog({"127.0.0.1", server.Port(), "demo", "", "0001"});
  dialog.findChild<QLineEdit*>("password")->setText("wrong");
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.findChild<QLabel*>("problem")->isVisibleTo(&dialog));
}

TEST(SignIn, RemembersEverythingButThePassword) {
  QCoreApplication::setOrganizationName("alloc-desktop-test");
  QSettings().clear();
  RememberSignIn({"10.0.0.7", 9000, "ana", "secret", "0002"});
  const TSignIn back = LoadRememberedSignIn();
  EXPECT_EQ(back.server, "10.0.0.7");
  EXPECT_EQ(back.port, 9000);
  EXPECT_EQ(back.operator_name, "ana");
  EXPECT_EQ(back.branch, "0002");
  EXPECT_EQ(back.password, "");
  EXPECT_FALSE(QSettings().allKeys().join(",").contains("password"));
  QSettings().clear();
}

}  // namespace
}  // namespace desk
