#include "desktop/form_peer.h"

#include <algorithm>

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

#include "desktop/grid_view.h"
#include "desktop/peers/control_peer.h"
#include "desktop/peers/pages_peer.h"
#include "desktop/qt_canvas.h"
#include "desktop/qt_text.h"
#include "platform/runtime/ui/align.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/dbctrls.h"
#include "platform/runtime/ui/input.h"

namespace desk {

namespace {

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
    QWidget* widget = MakeControlPeer(*child, parent_widget);
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
  if (dynamic_cast<rt::TPageControl*>(&container)) client.Top = TPagesPeer::kTabBarHeight;
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
  auto* peer = dynamic_cast<TControlPeer*>(widget);
  QRect bounds(control.Left(), control.Top(), control.Width(), control.Height());
  if (bounds.isEmpty() && peer)
    if (const QSize natural = peer->NaturalSize(); natural.isValid()) bounds.setSize(natural);
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
  if (peer) peer->SyncState();
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
      if (users_move && control->CanFocus() && !qobject_cast<TGridView*>(widget))
        rt::Input::FocusControl(*control);
      else
        QTimer::singleShot(0, this, [this] { SyncFocus(); });
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace desk
