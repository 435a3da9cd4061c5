// The data grid's native view: paints the runtime grid (titles, and every data cell
// through the screen's owner-draw handler) on a TQtCanvas, shows the in-place editor
// mirroring the grid's editor text, the ellipsis button and the pick list of the
// selected column (the runtime's list, opened by the button or Alt+Down and steered by
// the keys the grid receives), and turns mouse and keyboard input into the grid's
// input calls.
// The view holds no state of its own: Sync() re-reads the grid after each input call.
#pragma once

#include <QWidget>

#include "desktop/peers/control_peer.h"
#include "platform/runtime/ui/dbgrid.h"

class QLineEdit;
class QListWidget;
class QScrollBar;
class QToolButton;

namespace desk {

class TGridView : public QWidget, public TControlPeer {
  Q_OBJECT
 public:
  TGridView(rt::TDBGrid& grid, QWidget* parent = nullptr);

  rt::TDBGrid& Grid() const { return grid_; }
  // Re-reads the grid: editor text and place, buttons, repaint.
  void Sync();
  void SyncState() override { Sync(); }

  // True while any grid view paints (the runtime's idle hook must not sync then).
  static bool Painting();

  QLineEdit* Editor() const { return editor_; }
  QToolButton* EllipsisButton() const { return ellipsis_; }
  QToolButton* PickButton() const { return pick_; }
  // The open pick list's items under the cell (hidden while the runtime's list is closed).
  QListWidget* PickListView() const { return pick_items_; }
  // Shown when the rows do not all fit: its value is the current record number.
  QScrollBar* RowBar() const { return rows_; }
  // The virtual key of the grid for a Qt key, or 0 when the grid takes none.
  static int VirtualKeyOf(int qt_key);
  // The grid's modifier set for Qt's.
  static rt::TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers);
  // The drop-down button: opens the selected column's pick list (as Alt+Down), or
  // closes an open one unchanged.
  void ShowPickList();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // The selected cell's rectangle in the view, or an empty one when it is not drawn.
  QRect SelectedCellRect() const;
  // Shows the runtime's open pick list under (or above) the cell, its highlight current.
  void SyncPickList(const QRect& cell);

  rt::TDBGrid& grid_;
  // A drawing handler failed: shown once, not at every repaint, until the next sync.
  bool paint_failed_ = false;
  QLineEdit* editor_;
  QToolButton* ellipsis_;
  QToolButton* pick_;
  QListWidget* pick_items_;
  QScrollBar* rows_;
  bool syncing_ = false;
};

}  // namespace desk
