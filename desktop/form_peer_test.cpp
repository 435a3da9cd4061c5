// The peer layer without a server: every control kind gets the widget of its kind
// (more derived kinds before their bases), and one sync mirrors the runtime's state:
// the generic part (bounds, visible, enabled, hint) and each kind's own.
#include "desktop/form_peer.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTabBar>
#include <QToolButton>

#include "desktop/grid_view.h"
#include "desktop/peers/navigator_peer.h"
#include "desktop/peers/pages_peer.h"
#include "desktop/qt_test_support.h"
#include "platform/clientlib/components.h"
#include "platform/runtime/ui/dbctrls.h"

namespace desk {
namespace {

const auto* const qt_env = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

template <class Control>
Control* Place(rt::TWinControl& parent, const char* name, int left, int top, int width, int height) {
  auto* control = new Control(parent.Owner() ? parent.Owner() : &parent);
  control->SetName(name);
  control->SetParent(&parent);
  control->SetBounds(left, top, width, height);
  return control;
}

class FormPeerTest : public ::testing::Test {
 protected:
  FormPeerTest() {
    panel_ = Place<rt::TPanel>(form_, "panFiltro", 0, 0, 400, 60);
    edit_ = Place<rt::TEdit>(*panel_, "edtNumero", 4, 4, 80, 21);
    check_ = Place<rt::TCheckBox>(*panel_, "ckbCopia", 90, 4, 80, 21);
    search_ = Place<clib::TBtnPesquisa>(*panel_, "btnPesquisa", 180, 4, 21, 21);
    label_ = Place<rt::TLabel>(*panel_, "lblNumero", 210, 4, 0, 0);
    bound_ = Place<rt::TDBText>(*panel_, "dbtNome", 210, 30, 90, 16);
    group_ = Place<rt::TGroupBox>(form_, "grbCopia", 0, 60, 200, 60);
    combo_ = Place<clib::TComboBox>(form_, "cboRelatorio", 210, 60, 120, 21);
    nav_ = Place<rt::TDBNavigator>(form_, "navDados", 0, 130, 240, 25);
    pages_ = Place<rt::TPageControl>(form_, "pgcPaginas", 0, 160, 300, 100);
    sheet_ = new rt::TTabSheet(&form_);
    sheet_->SetName("tabGeral");
    sheet_->SetPageControl(pages_);
    sheet_->SetCaption("Geral");
    grid_ = Place<rt::TDBGrid>(form_, "grdDados", 0, 270, 300, 100);
    form_.SetBounds(0, 0, 420, 380);
  }

  rt::TForm form_{nullptr};
  rt::TPanel* panel_;
  rt::TEdit* edit_;
  rt::TCheckBox* check_;
  clib::TBtnPesquisa* search_;
  rt::TLabel* label_;
  rt::TDBText* bound_;
  rt::TGroupBox* group_;
  clib::TComboBox* combo_;
  rt::TDBNavigator* nav_;
  rt::TPageControl* pages_;
  rt::TTabSheet* sheet_;
  rt::TDBGrid* grid_;
};

TEST_F(FormPeerTest, EveryControlKindGetsTheWidgetOfItsKind) {
  TFormPeer peer(form_);
  const struct {
    rt::TComponent* control;
    bool (*is_kind)(QWidget*);
    const char* kind;
  } cases[] = {
      {panel_, [](QWidget* w) { return w && w->metaObject() == &QWidget::staticMetaObject; }, "plain container"},
      {edit_, [](QWidget* w) { return qobject_cast<QLineEdit*>(w) != nullptr; }, "line edit"},
      {check_, [](QWidget* w) { return qobject_cast<QCheckBox*>(w) != nullptr; }, "check box"},
      {search_, [](QWidget* w) { return qobject_cast<QToolButton*>(w) != nullptr; }, "tool button"},
      {label_, [](QWidget* w) { return qobject_cast<QLabel*>(w) != nullptr; }, "label"},
      {bound_, [](QWidget* w) { return qobject_cast<QLabel*>(w) != nullptr; }, "label"},
      {group_, [](QWidget* w) { return qobject_cast<QGroupBox*>(w) != nullptr; }, "group box"},
      {combo_, [](QWidget* w) { return qobject_cast<QComboBox*>(w) != nullptr; }, "combo box"},
      {nav_, [](QWidget* w) { return dynamic_cast<TNavigatorPeer*>(w) != nullptr; }, "navigator"},
      {pages_, [](QWidget* w) { return dynamic_cast<TPagesPeer*>(w) != nullptr; }, "page control"},
      {sheet_, [](QWidget* w) { return w && w->metaObject() == &QWidget::staticMetaObject; }, "plain container"},
      {grid_, [](QWidget* w) { return qobject_cast<TGridView*>(w) != nullptr; }, "grid view"},
  };
  for (const auto& c : cases) {
    QWidget* widget = peer.PeerOf(c.control);
    EXPECT_TRUE(c.is_kind(widget)) << c.control->Name() << " should be a " << c.kind;
    if (widget) {
      EXPECT_EQ(widget->objectName().toStdString(), c.control->Name());
    }
  }
  // The peers nest as the controls do.
  EXPECT_EQ(peer.PeerOf(edit_)->parentWidget(), peer.PeerOf(panel_));
  EXPECT_EQ(peer.PeerOf(grid_), peer.GridView());
}

TEST_F(FormPeerTest, ASyncMirrorsTheGenericAndEachKindsOwnState) {
  TFormPeer peer(form_);
  edit_->SetText("12");
  edit_->SetEnabled(false);
  edit_->SetHint("Número");
  edit_->SetShowHint(true);
  check_->SetCaption("Mostrar cópia");
  check_->SetChecked(true);
  label_->SetCaption("Número do orçamento");
  group_->SetCaption("Cópia");
  group_->SetVisible(false);
  combo_->SetItems({"Alocação", "Resumo"});
  combo_->SetItemIndex(1);
  peer.Sync();

  auto* line = qobject_cast<QLineEdit*>(peer.PeerOf(edit_));
  EXPECT_EQ(line->text(), "12");
  EXPECT_EQ(line->geometry(), QRect(4, 4, 80, 21));
  EXPECT_FALSE(line->isEnabled());
  EXPECT_EQ(line->toolTip(), QString::fromUtf8("Número"));
  auto* box = qobject_cast<QCheckBox*>(peer.PeerOf(check_));
  EXPECT_EQ(box->text(), QString::fromUtf8("Mostrar cópia"));
  EXPECT_TRUE(box->isChecked());
  // A label without a size of its own takes its text's.
  auto* label = qobject_cast<QLabel*>(peer.PeerOf(label_));
  EXPECT_EQ(label->text(), QString::fromUtf8("Número do orçamento"));
  EXPECT_EQ(label->geometry(), QRect(QPoint(210, 4), label->sizeHint()));
  auto* group = qobject_cast<QGroupBox*>(peer.PeerOf(group_));
  EXPECT_EQ(group->title(), QString::fromUtf8("Cópia"));
  EXPECT_FALSE(group->isVisibleTo(group->parentWidget()));
  auto* combo = qobject_cast<QComboBox*>(peer.PeerOf(combo_));
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->currentIndex(), 1);
  auto* tabs = peer.PeerOf(pages_)->findChild<QTabBar*>();
  ASSERT_EQ(tabs->count(), 1);
  EXPECT_EQ(tabs->tabText(0), "Geral");
  // The page fills its page control below the tabs.
  EXPECT_EQ(peer.PeerOf(sheet_)->geometry(), QRect(0, TPagesPeer::kTabBarHeight, 300, 100 - TPagesPeer::kTabBarHeight));
}

// The host knows no button names or hint texts: the icon is the glyph the layout
// names, the navigator's tips are the runtime's (the layout's, else the defaults).
TEST_F(FormPeerTest, ToolButtonIconsAndNavigatorTipsComeFromTheRuntime) {
  auto* save = Place<rt::TSpeedButton>(*panel_, "sbtQualquer", 240, 4, 21, 21);
  save->SetGlyph(rt::bgSave);
  nav_->SetHints({"First", "Previous"});
  TFormPeer peer(form_);
  peer.Sync();
  auto* with_glyph = qobject_cast<QToolButton*>(peer.PeerOf(save));
  const QImage shown = with_glyph->icon().pixmap(15).toImage();
  ASSERT_FALSE(shown.isNull());
  EXPECT_EQ(shown, peer.style()->standardIcon(QStyle::SP_DialogSaveButton).pixmap(15).toImage());
  EXPECT_TRUE(qobject_cast<QToolButton*>(peer.PeerOf(search_))->icon().isNull());  // no glyph, no icon

  auto tip = [&](const char* button) {
    return peer.PeerOf(nav_)->findChild<QToolButton*>(button)->toolTip().toStdString();
  };
  EXPECT_EQ(tip("nbFirst"), "First");
  EXPECT_EQ(tip("nbPrior"), "Previous");
  EXPECT_EQ(tip("nbNext"), "Próximo");
  nav_->SetHints({});
  peer.Sync();
  EXPECT_EQ(tip("nbFirst"), "Primeiro");
}

}  // namespace
}  // namespace desk
