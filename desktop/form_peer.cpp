#include "desktop/form_peer.h"

#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "desktop/grid_view.h"
#include "desktop/qt_canvas.h"
#include "platform/clientlib/components.h"
#include "platform/runtime/ui/align.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/dbctrls.h"
#include "platform/runtime/ui/input.h"

namespace desk {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

constexpr int kTabBarHeight = 22;

// A text box: keys go to the runtime (TypeKey/TypeText); the box shows what the runtime
// holds, the caret at the end as the runtime keeps it, or the whole text selected.
class TEditPeer : public QLineEdit {
 public:
  TEditPeer(rt::TEdit& edit, QWidget* parent) : QLineEdit(parent), edit_(edit) {
    setContextMenuPolicy(Qt::NoContextMenu);
    setDragEnabled(false);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (!edit_.Focused()) rt::Input::FocusControl(edit_);
    if (!edit_.Focused()) return;
    switch (event->key()) {
      case Qt::Key_Backspace: rt::Input::TypeKey(rt::Input::kBackspace); return;
      case Qt::Key_Return:
      case Qt::Key_Enter: rt::Input::TypeKey(rt::Input::kReturn); return;
      case Qt::Key_Escape: rt::Input::TypeKey(rt::Input::kEscape); return;
      default: break;
    }
    if (event->matches(QKeySequence::Paste)) {
      rt::Input::TypeText(QApplication::clipboard() ? QApplication::clipboard()->text().toStdString() : "");
      return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      rt::Input::TypeText(text.toStdString());
      return;
    }
    event->ignore();  // caret keys and the rest: the runtime keeps the caret at the end
  }
  void inputMethodEvent(QInputMethodEvent* event) override {
    if (!event->commitString().isEmpty()) rt::Input::TypeText(event->commitString().toStdString());
    event->accept();
  }
  bool event(QEvent* event) override {
    // Ctrl and Alt combinations are the menus' short-cuts, not the line edit's.
    if (event->type() == QEvent::ShortcutOverride) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier) && !key->matches(QKeySequence::Paste)) {
        event->ignore();
        return false;
      }
    }
    return QLineEdit::event(event);
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (!edit_.Focused()) rt::Input::FocusControl(edit_);
    event->accept();
  }
  void mouseMoveEvent(QMouseEvent* event) override { event->accept(); }
  void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }

 private:
  rt::TEdit& edit_;
};

// A check box: a click or Space goes to the runtime, which decides the state.
class TCheckPeer : public QCheckBox {
 public:
  TCheckPeer(rt::TCheckBox& box, QWidget* parent) : QCheckBox(parent), box_(box) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) rt::Input::Click(box_);
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Space) rt::Input::TypeKey(' ');
    else event->ignore();
  }
  void keyReleaseEvent(QKeyEvent* event) override { event->ignore(); }

 private:
  rt::TCheckBox& box_;
};

// The page control: a tab bar over the client area where the pages are placed.
class TPagesPeer : public QWidget {
 public:
  TPagesPeer(rt::TPageControl& pages, QWidget* parent) : QWidget(parent), pages_(pages), bar_(new QTabBar(this)) {
    bar_->setFocusPolicy(Qt::NoFocus);
    bar_->setDrawBase(true);
    QObject::connect(bar_, &QTabBar::tabBarClicked, this, [this](int index) {
      auto sheets = pages_.Pages();
      if (index >= 0 && index < static_cast<int>(sheets.size()))
        rt::Application().Guard([&] { pages_.SetActivePage(sheets[static_cast<size_t>(index)]); });
    });
  }
  void SyncTabs() {
    const auto sheets = pages_.Pages();
    while (bar_->count() > static_cast<int>(sheets.size())) bar_->removeTab(bar_->count() - 1);
    for (int i = 0; i < static_cast<int>(sheets.size()); ++i) {
      const QString caption = Q(sheets[static_cast<size_t>(i)]->Caption());
      if (i >= bar_->count()) bar_->addTab(caption);
      else if (bar_->tabText(i) != caption) bar_->setTabText(i, caption);
      if (sheets[static_cast<size_t>(i)] == pages_.ActivePage()) bar_->setCurrentIndex(i);
    }
    bar_->setGeometry(0, 0, width(), kTabBarHeight);
  }

 private:
  rt::TPageControl& pages_;
  QTabBar* bar_;
};

// The navigator bar: one button per visible dataset action.
class TNavigatorPeer : public QWidget {
 public:
  TNavigatorPeer(rt::TDBNavigator& nav, QWidget* parent) : QWidget(parent), nav_(nav) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    static const char* const glyphs[] = {"|◀", "◀", "▶", "▶|", "+", "−", "▲", "✓", "✗", "↻"};
    static const char* const tips[] = {"Primeiro", "Anterior", "Próximo", "Último", "Incluir",
                                       "Excluir", "Alterar", "Gravar", "Cancelar", "Atualizar"};
    for (int b = rt::nbFirst; b <= rt::nbRefresh; ++b) {
      auto* button = new QToolButton(this);
      button->setText(QString::fromUtf8(glyphs[b]));
      button->setToolTip(QString::fromUtf8(tips[b]));
      button->setObjectName(rt::NavigateBtnName(static_cast<rt::TNavigateBtn>(b)));
      button->setFocusPolicy(Qt::NoFocus);
      button->setAutoRaise(true);
      button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
      QObject::connect(button, &QToolButton::clicked, this,
                       [this, b] { nav_.Press(static_cast<rt::TNavigateBtn>(b)); });
      layout->addWidget(button);
      buttons_.push_back(button);
    }
  }
  void SyncButtons() {
    const auto& shown = nav_.VisibleButtons();
    for (int b = rt::nbFirst; b <= rt::nbRefresh; ++b) {
      const auto button = static_cast<rt::TNavigateBtn>(b);
      buttons_[static_cast<size_t>(b)]->setVisible(shown.empty() || shown.count(button) > 0);
      buttons_[static_cast<size_t>(b)]->setEnabled(nav_.ButtonEnabled(button));
    }
  }

 private:
  rt::TDBNavigator& nav_;
  std::vector<QToolButton*> buttons_;
};

// Tool buttons carry no captions in the layouts: the host gives each a standard icon.
QIcon ToolIcon(const std::string& name, QStyle* style) {
  static const std::map<std::string, QStyle::StandardPixmap> icons = {
      {"sbtIncluir", QStyle::SP_FileIcon},           {"sbtAlterar", QStyle::SP_FileDialogDetailedView},
      {"sbtExcluir", QStyle::SP_TrashIcon},          {"sbtPesquisar", QStyle::SP_FileDialogContentsView},
      {"sbtVerificar", QStyle::SP_DialogSaveButton}, {"sbtImprimir", QStyle::SP_FileDialogListView},
      {"sbtAjuda", QStyle::SP_DialogHelpButton},     {"sbtFechar", QStyle::SP_DialogCloseButton},
      {"sbtLimpaForn", QStyle::SP_DialogResetButton}, {"sbtGeraConta", QStyle::SP_DialogApplyButton},
      {"sbtCancelaConta", QStyle::SP_DialogCancelButton}, {"sbtVisualizar", QStyle::SP_FileDialogInfoView},
  };
  for (const auto& [key, pixmap] : icons)
    if (rt::SameText(key, name)) return style->standardIcon(pixmap);
  return {};
}

bool IsFocusable(const rt::TControl& control) { return dynamic_cast<const rt::TWinControl*>(&control) != nullptr; }

}  // namespace

// -------------------------------------------------------------------------------------

TFormPeer::TFormPeer(rt::TForm& form, QWidget* parent) : QWidget(parent), form_(&form), client_(new QWidget(this)) {
  setObjectName(Q(form.Name()));
  client_->setObjectName("client");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (rt::TMainMenu* menu = form.Menu()) {
    menu_bar_ = new QMenuBar(this);
    menu_bar_->setNativeMenuBar(false);
    for (rt::TMenuItem* item : menu->Items().Items()) BuildMenu(*item, nullptr);
    layout->setMenuBar(menu_bar_);
  }
  layout->addWidget(client_);
  Build(form, client_);
  const int menu_height = menu_bar_ ? menu_bar_->sizeHint().height() : 0;
  resize(form.Width(), form.Height() + menu_height);
  form_ticket_ = form.AddDestroyObserver([this](rt::TComponent*) {
    for (auto& [component, ticket] : tickets_) Forget(component);
    tickets_.clear();
    form_ = nullptr;
    emit FormDestroyed();
  });
}

TFormPeer::~TFormPeer() {
  for (auto& [component, ticket] : tickets_) component->RemoveDestroyObserver(ticket);
  if (form_) form_->RemoveDestroyObserver(form_ticket_);
}

void TFormPeer::Forget(rt::TComponent* component) {
  auto it = peers_.find(component);
  if (it != peers_.end()) {
    focusable_.erase(it->second.data());
    if (it->second) {
      it->second->hide();  // nothing may reach the destroyed control any more
      it->second->deleteLater();
    }
    peers_.erase(it);
  }
  order_.erase(std::remove(order_.begin(), order_.end(), component), order_.end());
  if (auto* item = dynamic_cast<rt::TMenuItem*>(component)) actions_.erase(item);
}

void TFormPeer::Build(rt::TWinControl& container, QWidget* parent_widget) {
  for (rt::TControl* child : container.Controls()) {
    QWidget* widget = MakePeer(*child, parent_widget);
    if (!widget) continue;
    widget->setObjectName(Q(child->Name()));
    peers_[child] = widget;
    order_.push_back(child);
    const int ticket = child->AddDestroyObserver([this, child](rt::TComponent*) {
      tickets_.erase(std::remove_if(tickets_.begin(), tickets_.end(), [&](auto& t) { return t.first == child; }),
                     tickets_.end());
      Forget(child);
    });
    tickets_.emplace_back(child, ticket);
    if (IsFocusable(*child)) {
      widget->installEventFilter(this);
      focusable_[widget] = static_cast<rt::TWinControl*>(child);
    }
    if (auto* win = dynamic_cast<rt::TWinControl*>(child); win && !dynamic_cast<rt::TDBGrid*>(child))
      Build(*win, widget);
  }
}

QWidget* TFormPeer::MakePeer(rt::TControl& control, QWidget* parent_widget) {
  if (auto* grid = dynamic_cast<rt::TDBGrid*>(&control)) return new TGridView(*grid, parent_widget);
  if (auto* edit = dynamic_cast<rt::TEdit*>(&control)) return new TEditPeer(*edit, parent_widget);
  if (auto* box = dynamic_cast<rt::TCheckBox*>(&control)) return new TCheckPeer(*box, parent_widget);
  if (auto* nav = dynamic_cast<rt::TDBNavigator*>(&control)) return new TNavigatorPeer(*nav, parent_widget);
  if (auto* pages = dynamic_cast<rt::TPageControl*>(&control)) return new TPagesPeer(*pages, parent_widget);
  if (auto* combo = dynamic_cast<clib::TComboBox*>(&control)) {
    auto* widget = new QComboBox(parent_widget);
    connect(widget, &QComboBox::activated, this,
            [combo](int index) { rt::Application().Guard([&] { combo->SetItemIndex(index); }); });
    return widget;
  }
  if (auto* button = dynamic_cast<rt::TSpeedButton*>(&control)) {
    auto* widget = new QToolButton(parent_widget);
    widget->setAutoRaise(button->Flat());
    widget->setFocusPolicy(Qt::NoFocus);
    widget->setIcon(ToolIcon(control.Name(), style()));
    widget->setIconSize(QSize(15, 15));
    connect(widget, &QToolButton::clicked, this, [button] { rt::Input::Click(*button); });
    return widget;
  }
  if (dynamic_cast<rt::TLabel*>(&control) || dynamic_cast<rt::TDBText*>(&control)) {
    auto* label = new QLabel(parent_widget);
    label->setTextFormat(Qt::PlainText);
    return label;
  }
  if (dynamic_cast<rt::TGroupBox*>(&control)) return new QGroupBox(parent_widget);
  if (dynamic_cast<rt::TWinControl*>(&control)) {
    auto* frame = new QWidget(parent_widget);
    frame->setFocusPolicy(Qt::NoFocus);
    return frame;
  }
  return nullptr;
}

void TFormPeer::BuildMenu(rt::TMenuItem& item, QMenu* into) {
  QAction* action = nullptr;
  if (!item.Items().empty()) {
    QMenu* menu = into ? into->addMenu(Q(item.Caption())) : menu_bar_->addMenu(Q(item.Caption()));
    action = menu->menuAction();
    for (rt::TMenuItem* sub : item.Items()) BuildMenu(*sub, menu);
  } else if (item.IsLine()) {
    action = into ? into->addSeparator() : menu_bar_->addSeparator();
  } else {
    action = into ? into->addAction(Q(item.Caption())) : menu_bar_->addAction(Q(item.Caption()));
    rt::TMenuItem* target = &item;
    connect(action, &QAction::triggered, this, [target] { rt::Input::Click(*target); });
    // Short-cuts work while the focus is anywhere in this form's window.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
  }
  action->setObjectName(Q(item.Name()));
  actions_[&item] = action;
}

QSize TFormPeer::sizeHint() const {
  if (!form_) return QWidget::sizeHint();
  return QSize(form_->Width(), form_->Height() + (menu_bar_ ? menu_bar_->sizeHint().height() : 0));
}

QWidget* TFormPeer::PeerOf(const rt::TComponent* control) const {
  auto it = peers_.find(control);
  return it == peers_.end() ? nullptr : it->second.data();
}

QAction* TFormPeer::ActionOf(const rt::TMenuItem* item) const {
  auto it = actions_.find(item);
  return it == actions_.end() ? nullptr : it->second;
}

TGridView* TFormPeer::GridView() const {
  for (const auto& [control, widget] : peers_)
    if (auto* grid = qobject_cast<TGridView*>(widget.data())) return grid;
  return nullptr;
}

void TFormPeer::Layout(rt::TWinControl& container) {
  rt::TRect client = rt::Rect(0, 0, container.Width(), container.Height());
  if (dynamic_cast<rt::TPageControl*>(&container)) client.Top = kTabBarHeight;
  rt::AlignControls(container, client);
  for (rt::TControl* child : container.Controls()) {
    // A page fills its page control below the tabs.
    if (auto* sheet = dynamic_cast<rt::TTabSheet*>(child); sheet && sheet->Align() == rt::alNone) {
      if (sheet->Top() != client.Top || sheet->Width() != client.Width() || sheet->Height() != client.Height())
        sheet->SetBounds(0, client.Top, client.Width(), client.Height());
    }
    if (auto* win = dynamic_cast<rt::TWinControl*>(child)) Layout(*win);
  }
}

void TFormPeer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The user resized the window: the form's client size follows, then its alignment.
  if (form_ && !syncing_ && client_->width() > 0 &&
      (client_->width() != form_->Width() || client_->height() != form_->Height())) {
    form_->SetBounds(form_->Left(), form_->Top(), client_->width(), client_->height());
    Sync();
  }
}

void TFormPeer::SyncControl(rt::TControl& control, QWidget* widget) {
  QRect bounds(control.Left(), control.Top(), control.Width(), control.Height());
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    const QString text = Q(control.Caption());
    if (label->text() != text) label->setText(text);
    if (bounds.width() <= 0 || bounds.height() <= 0) bounds.setSize(label->sizeHint());
  }
  if (widget->geometry() != bounds) widget->setGeometry(bounds);
  const bool visible = control.Visible();
  if (widget->isVisibleTo(widget->parentWidget()) != visible) widget->setVisible(visible);
  widget->setEnabled(control.Enabled());
  widget->setToolTip(control.ShowHint() ? Q(control.Hint()) : QString());
  QFont font = widget->font();
  if (font.bold() != control.Font().Bold) {
    font.setBold(control.Font().Bold);
    widget->setFont(font);
  }

  // A container of its own colour (the legend squares) paints it; others keep the style's.
  if (dynamic_cast<rt::TPanel*>(&control) && control.Color() != rt::clBtnFace &&
      widget->palette().color(QPalette::Window) != ToQColor(control.Color())) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ToQColor(control.Color()));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
  }

  if (auto* edit = dynamic_cast<rt::TEdit*>(&control)) {
    auto* line = static_cast<QLineEdit*>(widget);
    const QString text = Q(edit->Text());
    if (line->text() != text) line->setText(text);
    // The runtime's selection: the whole text (entered by Tab) or the caret at the end.
    if (edit->SelLength() > 0)
      line->selectAll();
    else
      line->setCursorPosition(static_cast<int>(text.size()));
    const QColor base = ToQColor(edit->Color() == rt::clBtnFace ? rt::clWindow : edit->Color());
    if (line->palette().color(QPalette::Base) != base) {
      QPalette palette = line->palette();
      palette.setColor(QPalette::Base, base);
      line->setPalette(palette);
    }
  } else if (auto* box = dynamic_cast<rt::TCheckBox*>(&control)) {
    auto* check = static_cast<QCheckBox*>(widget);
    check->setText(Q(box->Caption()));
    check->setChecked(box->Checked());
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(Q(control.Caption()));
  } else if (auto* combo = dynamic_cast<clib::TComboBox*>(&control)) {
    auto* list = static_cast<QComboBox*>(widget);
    QStringList items;
    for (const auto& item : combo->Items()) items << Q(item);
    QStringList now;
    for (int i = 0; i < list->count(); ++i) now << list->itemText(i);
    if (now != items) {
      list->clear();
      list->addItems(items);
    }
    list->setCurrentIndex(combo->ItemIndex());
  } else if (auto* nav = dynamic_cast<TNavigatorPeer*>(widget)) {
    nav->SyncButtons();
  } else if (auto* pages = dynamic_cast<TPagesPeer*>(widget)) {
    pages->SyncTabs();
  } else if (auto* grid = qobject_cast<TGridView*>(widget)) {
    grid->Sync();
  }
}

void TFormPeer::SyncMenus() {
  for (auto& [item, action] : actions_) {
    action->setText(Q(item->Caption()));
    action->setEnabled(item->Enabled());
    action->setVisible(item->Visible());
    if (item->Checked() != action->isChecked()) {
      action->setCheckable(item->Checked() || action->isCheckable());
      action->setChecked(item->Checked());
    }
    const QKeySequence keys(Q(rt::ShortCutToText(item->ShortCut())));
    if (action->shortcut() != keys) action->setShortcut(keys);
  }
}

void TFormPeer::Sync() {
  if (!form_ || syncing_) return;
  syncing_ = true;
  setWindowTitle(Q(form_->Caption()));
  if (client_->width() > 0 && (client_->width() != form_->Width() || client_->height() != form_->Height()) &&
      !isVisible()) {
    const int menu_height = menu_bar_ ? menu_bar_->sizeHint().height() : 0;
    resize(form_->Width(), form_->Height() + menu_height);
  }
  Layout(*form_);
  for (rt::TControl* control : order_)
    if (QWidget* widget = PeerOf(control)) SyncControl(*control, widget);
  SyncMenus();
  SyncFocus();
  syncing_ = false;
}

void TFormPeer::SyncFocus() {
  if (!form_ || rt::Screen().ActiveForm() != form_) return;
  rt::TWinControl* focused = form_->ActiveControl();
  QWidget* widget = focused ? PeerOf(focused) : nullptr;
  if (widget && widget->isVisible() && QApplication::focusWidget() != widget && window()->isActiveWindow()) {
    const bool was = syncing_;
    syncing_ = true;
    widget->setFocus(Qt::OtherFocusReason);
    syncing_ = was;
  }
}

bool TFormPeer::eventFilter(QObject* watched, QEvent* event) {
  auto found = focusable_.find(watched);
  if (found == focusable_.end()) return QWidget::eventFilter(watched, event);
  auto* widget = static_cast<QWidget*>(watched);
  rt::TWinControl* control = found->second;
  if (event->type() == QEvent::KeyPress && !qobject_cast<TGridView*>(widget)) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      rt::Input::PressTab(key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier));
      return true;
    }
  }
  if (event->type() == QEvent::FocusIn && !syncing_) {
    auto* focus = static_cast<QFocusEvent*>(event);
    // The user moved the keyboard focus (click, window switch): the runtime decides;
    // the next sync puts Qt's focus wherever the runtime's is.
    // Only the user's own moves count: a window coming back (after a dialog, a switch
    // of windows) or a popup closing restores Qt's last focus, which may not be the
    // runtime's any more; the runtime's focus is put back instead.
    const auto reason = focus->reason();
    const bool users_move = reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
                            reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
    if (!control->Focused()) {
      // Qt also moves the focus on its own with the Tab reason when the focused widget
      // is hidden (a window closing): a control the runtime cannot focus is left alone.
      if (users_move && control->CanFocus() && !qobject_cast<TGridView*>(widget)) rt::Input::FocusControl(*control);
      else QTimer::singleShot(0, this, [this] { SyncFocus(); });
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace desk
