// The peer layer: one native widget per runtime control of a form, placed at the bounds
// the layout gives (aligned controls laid out by the runtime's alignment rule),
// mirroring the runtime's state and turning user input into the runtime's input calls.
// The runtime owns the state: Sync() re-reads every control; no widget keeps a copy of
// its own. TFormPeer holds what every control has (bounds, visible, enabled, hint,
// font, a panel's colour), the menus and the focus bridge; each kind's own widget and
// state live in its peer (desktop/peers/, made through the kind table peer_kinds.cpp).
#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <vector>

#include "platform/runtime/ui/forms.h"

class QMenuBar;
class QMenu;
class QAction;

namespace desk {

class TGridView;

class TFormPeer : public QWidget {
  Q_OBJECT
 public:
  explicit TFormPeer(rt::TForm& form, QWidget* parent = nullptr);
  ~TFormPeer() override;

  // The form, or nullptr once it has been destroyed.
  rt::TForm* Form() const { return form_; }
  // Re-reads the runtime: geometry, states, texts, menus, focus.
  void Sync();
  // The widget that shows a control (nullptr when none).
  QWidget* PeerOf(const rt::TComponent* control) const;
  // The action of a menu item (nullptr when none).
  QAction* ActionOf(const rt::TMenuItem* item) const;
  TGridView* GridView() const;
  QMenuBar* MenuBar() const { return menu_bar_; }
  // Gives the runtime's focused control the keyboard focus (when the form is active).
  void SyncFocus();
  // The form's own size (its client area plus the menu bar).
  QSize sizeHint() const override;

 signals:
  // The runtime form is gone (destroyed): the host closes the window.
  void FormDestroyed();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Build(rt::TWinControl& container, QWidget* parent_widget);
  void BuildMenu(rt::TMenuItem& item, QMenu* into);
  // The generic sync of one control, then its peer's own (TControlPeer::SyncState).
  void SyncControl(rt::TControl& control, QWidget* widget);
  void SyncMenus();
  void Layout(rt::TWinControl& container);
  void Forget(rt::TComponent* component);

  rt::TForm* form_;
  int form_ticket_ = -1;
  QWidget* client_;
  QMenuBar* menu_bar_ = nullptr;
  std::map<const rt::TComponent*, QPointer<QWidget>> peers_;
  std::vector<rt::TControl*> order_;                      // creation order, parents first
  std::map<const QObject*, rt::TWinControl*> focusable_;  // peer widget -> its control
  std::map<const rt::TMenuItem*, QAction*> actions_;
  std::vector<std::pair<rt::TComponent*, int>> tickets_;
  bool syncing_ = false;
};

}  // namespace desk
