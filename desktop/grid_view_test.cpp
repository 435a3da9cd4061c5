// The grid's native view driven by real key and mouse events: the cell's buttons by
// keyboard (Ctrl+Enter for the ellipsis, Alt+Down for the pick list shown under the
// cell, its highlight following the keys) and a click on a listed item.
#include "desktop/grid_view.h"

#include <gtest/gtest.h>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

#include "desktop/qt_test_support.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace desk {
namespace {

const auto* const qt_env = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

// Two columns: a professional with an ellipsis button and a payment with a pick list.
class GridKeyboard : public ::testing::Test {
 protected:
  GridKeyboard() {
    grid_->Columns().Add("PROF").SetButtonStyle(rt::cbsEllipsis);
    grid_->Columns().Add("PAGTO").SetPickList({"FOLHA", "CONTA", "NENHUM"});
    grid_->SetBounds(0, 0, 300, 200);
    grid_->OnEditButtonClick = [this](rt::TObject*) { ++button_clicks_; };
    data_.form->Show();
    view_ = std::make_unique<TGridView>(*grid_);
    view_->resize(300, 200);
    view_->show();
    // As the host does: every input call ends with the views re-reading the runtime.
    rt::Application().OnIdle = [this] { view_->Sync(); };
    grid_->SelectCell(1, 0);
  }
  ~GridKeyboard() override { rt::Application().OnIdle = nullptr; }

  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(view_.get(), key, modifiers);
  }
  QListWidget& List() { return *view_->PickListView(); }

  rt::testing::TScriptedServices services_;
  testing::TGridForm data_{{{"PROF", 10}, {"PAGTO", 10}}, {{"111", "FOLHA"}, {"111", "CONTA"}}};
  rt::TClientDataSet& dataset_ = data_.dataset;
  rt::TDBGrid* grid_ = data_.grid;
  std::unique_ptr<TGridView> view_;
  int button_clicks_ = 0;
};

TEST_F(GridKeyboard, CtrlEnterPressesTheEllipsisButtonOfTheCell) {
  Key(Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(button_clicks_, 1);
  Key(Qt::Key_Right);  // the payment column has no ellipsis
  Key(Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(button_clicks_, 1);
  EXPECT_EQ(services_.Log(), "");
}

TEST_F(GridKeyboard, AltDownShowsTheListUnderTheCellAndTheKeysSteerIt) {
  Key(Qt::Key_Right);
  Key(Qt::Key_Down, Qt::AltModifier);
  ASSERT_TRUE(List().isVisible());
  EXPECT_EQ(List().count(), 3);
  EXPECT_EQ(List().currentRow(), 0) << "the cell's value is highlighted";
  const rt::TRect cell = grid_->CellRect(0, 1);
  EXPECT_EQ(List().geometry().top(), cell.Bottom) << "right under the cell";
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  EXPECT_EQ(List().currentRow(), 2);
  Key(Qt::Key_Escape);
  EXPECT_FALSE(List().isVisible());
  EXPECT_EQ(dataset_.FieldByName("PAGTO").AsString(), "FOLHA") << "Escape changes nothing";

  Key(Qt::Key_Down, Qt::AltModifier);
  Key(Qt::Key_End);
  Key(Qt::Key_Return);
  EXPECT_FALSE(List().isVisible());
  EXPECT_EQ(dataset_.FieldByName("PAGTO").AsString(), "NENHUM");
  EXPECT_EQ(view_->Editor()->text(), "NENHUM");
  EXPECT_EQ(dataset_.RecNo(), 1) << "the list took the keys, not the grid";
}

TEST_F(GridKeyboard, AClickOnAListedItemChoosesIt) {
  Key(Qt::Key_Right);
  QTest::mouseClick(view_->PickButton(), Qt::LeftButton);
  ASSERT_TRUE(List().isVisible());
  QListWidgetItem* second = List().item(1);
  QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, List().visualItemRect(second).center());
  EXPECT_FALSE(List().isVisible());
  EXPECT_EQ(dataset_.FieldByName("PAGTO").AsString(), "CONTA");
}

}  // namespace
}  // namespace desk
