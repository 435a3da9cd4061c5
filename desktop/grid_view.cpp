#include "desktop/grid_view.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <cstdlib>

#include "desktop/qt_canvas.h"
#include "desktop/qt_text.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/input.h"

namespace desk {

namespace {

int paint_depth = 0;

int CurrentRecNo(const rt::TDBGrid& grid) {
  const rt::TClientDataSet* data = grid.DataSet();
  return data && data->Active() ? data->RecNo() : 0;
}

}  // namespace

bool TGridView::Painting() { return paint_depth > 0; }

TGridView::TGridView(rt::TDBGrid& grid, QWidget* parent)
    : QWidget(parent),
      grid_(grid),
      editor_(new QLineEdit(this)),
      ellipsis_(new QToolButton(this)),
      pick_(new QToolButton(this)),
      pick_items_(new QListWidget(this)),
      rows_(new QScrollBar(Qt::Vertical, this)) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAutoFillBackground(false);
  // The editor only mirrors the grid's editor: keys stay with the grid view.
  editor_->setObjectName("cellEditor");
  editor_->setFocusPolicy(Qt::NoFocus);
  editor_->setFrame(false);
  editor_->setReadOnly(true);
  editor_->setContextMenuPolicy(Qt::NoContextMenu);
  editor_->setAttribute(Qt::WA_TransparentForMouseEvents);
  editor_->hide();
  ellipsis_->setObjectName("ellipsis");
  ellipsis_->setText(QString::fromUtf8("…"));
  ellipsis_->setFocusPolicy(Qt::NoFocus);
  ellipsis_->hide();
  pick_->setObjectName("pickList");
  pick_->setArrowType(Qt::DownArrow);
  pick_->setFocusPolicy(Qt::NoFocus);
  pick_->hide();
  // The list mirrors the runtime's: keys stay with the grid view, a click chooses.
  pick_items_->setObjectName("pickListItems");
  pick_items_->setFocusPolicy(Qt::NoFocus);
  pick_items_->setSelectionMode(QAbstractItemView::SingleSelection);
  pick_items_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  pick_items_->hide();
  rows_->setObjectName("rows");
  rows_->setFocusPolicy(Qt::NoFocus);
  rows_->hide();
  // Moving the bar moves the current row, as a click on that row would (never appends).
  connect(rows_, &QScrollBar::valueChanged, this, [this](int recno) {
    if (!syncing_ && recno != CurrentRecNo(grid_)) grid_.SelectCell(recno, grid_.SelectedIndex());
  });
  connect(ellipsis_, &QToolButton::clicked, this, [this] { grid_.EditButtonClick(); });
  connect(pick_, &QToolButton::clicked, this, [this] { ShowPickList(); });
  connect(pick_items_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { grid_.PickListChoose(pick_items_->row(item)); });
}

int TGridView::VirtualKeyOf(int qt_key) {
  switch (qt_key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return rt::VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return rt::VK_RETURN;
    case Qt::Key_Escape:
      return rt::VK_ESCAPE;
    case Qt::Key_PageUp:
      return rt::VK_PRIOR;
    case Qt::Key_PageDown:
      return rt::VK_NEXT;
    case Qt::Key_End:
      return rt::VK_END;
    case Qt::Key_Home:
      return rt::VK_HOME;
    case Qt::Key_Left:
      return rt::VK_LEFT;
    case Qt::Key_Up:
      return rt::VK_UP;
    case Qt::Key_Right:
      return rt::VK_RIGHT;
    case Qt::Key_Down:
      return rt::VK_DOWN;
    case Qt::Key_Insert:
      return rt::VK_INSERT;
    case Qt::Key_F2:
      return rt::VK_F2;
    default:
      return 0;
  }
}

rt::TShiftState TGridView::ShiftStateOf(Qt::KeyboardModifiers modifiers) {
  rt::TShiftState state = 0;
  if (modifiers & Qt::ShiftModifier) state |= rt::ssShift;
  if (modifiers & Qt::AltModifier) state |= rt::ssAlt;
  if (modifiers & Qt::ControlModifier) state |= rt::ssCtrl;
  return state;
}

QRect TGridView::SelectedCellRect() const {
  const int recno = CurrentRecNo(grid_);
  const int top = grid_.TopRow();
  if (recno <= 0 || top <= 0 || grid_.SelectedColumn() == nullptr) return {};
  const int row = recno - top;
  if (row < 0 || row >= grid_.VisibleRowCount()) return {};
  const rt::TRect r = grid_.CellRect(row, grid_.SelectedIndex());
  return QRect(r.Left, r.Top, r.Width(), r.Height());
}

void TGridView::Sync() {
  paint_failed_ = false;
  const QRect cell = SelectedCellRect();
  const bool editing = grid_.EditorMode() && !cell.isEmpty();
  rt::TColumn* column = grid_.SelectedColumn();
  const bool ellipsis = column && column->HasEllipsis() && !cell.isEmpty() && grid_.Focused();
  const bool pick =
      column && !column->PickList().empty() && !cell.isEmpty() && grid_.Focused() && grid_.CanEditColumn();
  const int button_width = cell.height();
  QRect editor_rect = cell;
  if (ellipsis || pick) editor_rect.setRight(cell.right() - button_width);
  if (editing) {
    const QString text = Q(grid_.EditorText());
    if (editor_->text() != text) editor_->setText(text);
    editor_->setGeometry(editor_rect.adjusted(1, 1, -1, -1));
    editor_->setCursorPosition(static_cast<int>(text.size()));
    editor_->show();
  } else {
    editor_->hide();
  }
  const QRect button_rect(cell.right() - button_width + 1, cell.top(), button_width, cell.height());
  ellipsis_->setVisible(ellipsis);
  if (ellipsis) ellipsis_->setGeometry(button_rect);
  pick_->setVisible(pick && !ellipsis);
  if (pick && !ellipsis) pick_->setGeometry(button_rect);
  const rt::TClientDataSet* data = grid_.DataSet();
  const int count = data && data->Active() ? data->RecordCount() : 0;
  const bool scroll = count > grid_.VisibleRowCount();
  syncing_ = true;
  rows_->setVisible(scroll);
  if (scroll) {
    const int bar = rows_->sizeHint().width();
    rows_->setGeometry(width() - bar, grid_.TitleHeight(), bar, std::max(0, height() - grid_.TitleHeight()));
    rows_->setRange(1, count);
    rows_->setPageStep(std::max(1, grid_.VisibleRowCount()));
    rows_->setValue(CurrentRecNo(grid_));
  }
  syncing_ = false;
  SyncPickList(cell);
  setEnabled(grid_.EnabledInChain());
  update();
}

void TGridView::SyncPickList(const QRect& cell) {
  rt::TColumn* column = grid_.SelectedColumn();
  if (!grid_.PickListOpen() || !column || cell.isEmpty()) {
    pick_items_->hide();
    return;
  }
  QStringList items;
  for (const auto& item : column->PickList()) items << Q(item);
  QStringList shown;
  for (int i = 0; i < pick_items_->count(); ++i) shown << pick_items_->item(i)->text();
  if (shown != items) {
    pick_items_->clear();
    pick_items_->addItems(items);
  }
  if (grid_.PickListIndex() >= 0)
    pick_items_->setCurrentRow(grid_.PickListIndex());
  else
    pick_items_->clearSelection();
  const int row_height = std::max(pick_items_->sizeHintForRow(0), 1);
  const int frame = 2 * pick_items_->frameWidth();
  const int visible = std::min(static_cast<int>(items.size()), 8);
  const int list_height = visible * row_height + frame;
  const int list_width = std::max(cell.width(), pick_items_->sizeHintForColumn(0) + frame + 4);
  // Below the cell when it fits in the view, else above it.
  const int top =
      cell.bottom() + 1 + list_height <= height() ? cell.bottom() + 1 : std::max(0, cell.top() - list_height);
  pick_items_->setGeometry(cell.left(), top, list_width, list_height);
  pick_items_->show();
  pick_items_->raise();
}

void TGridView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ToQColor(rt::clBtnFace).darker(115));
  // Lines between cells: the gaps the grid leaves show this colour.
  const int columns = grid_.Columns().Count();
  int right = 0;
  for (int c = 0; c < columns; ++c) right = std::max(right, grid_.CellRect(-1, c).Right);
  const rt::TClientDataSet* data = grid_.DataSet();
  const int rows = data && data->Active() && grid_.TopRow() > 0
                       ? std::min(grid_.VisibleRowCount(), data->RecordCount() - grid_.TopRow() + 1)
                       : 0;
  const int bottom = rows > 0 ? grid_.CellRect(rows - 1, grid_.SelectedIndex()).Bottom : grid_.TitleHeight();
  painter.fillRect(QRect(0, 0, right + 1, bottom + 1), palette().color(QPalette::Mid));
  TQtCanvas canvas(painter, font());
  ++paint_depth;
  try {
    grid_.Paint(canvas);
  } catch (...) {
    // Shown through the application's handler once, after this paint (a modal dialog
    // inside a paint event would repaint into the failure again).
    if (!paint_failed_) {
      paint_failed_ = true;
      QTimer::singleShot(0, this, [error = std::current_exception()] { rt::Application().HandleException(error); });
    }
  }
  --paint_depth;
}

void TGridView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  if (auto cell = grid_.CellAt(p.x(), p.y())) {
    grid_.SelectCell(cell->first, cell->second);
  } else if (!grid_.Focused()) {
    rt::Input::FocusControl(grid_);
  }
}

void TGridView::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (grid_.CellAt(p.x(), p.y())) grid_.OpenEditor();
}

void TGridView::ShowPickList() {
  if (grid_.PickListOpen())
    grid_.Key(rt::VK_ESCAPE);
  else
    grid_.DropDown();
  Sync();
}

void TGridView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Backspace) {
    grid_.TypeChar(rt::Input::kBackspace);
    return;
  }
  if (const int vk = VirtualKeyOf(event->key())) {
    rt::TShiftState shift = ShiftStateOf(event->modifiers());
    if (event->key() == Qt::Key_Backtab) shift |= rt::ssShift;
    grid_.KeyDown(vk, shift);
    return;
  }
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    grid_.TypeText(text.toStdString());
    return;
  }
  QWidget::keyPressEvent(event);
}

void TGridView::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) grid_.TypeText(event->commitString().toStdString());
  event->accept();
}

void TGridView::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  // A click focuses through SelectCell; the user's keyboard moves go through the
  // runtime; a window coming back is put right by the form's sync.
  const auto reason = event->reason();
  if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason) &&
      !grid_.Focused() && grid_.CanFocus())
    rt::Input::FocusControl(grid_);
}

void TGridView::wheelEvent(QWheelEvent* event) {
  // The wheel moves the current row, as the arrow keys do (the grid scrolls with it).
  const int steps = event->angleDelta().y() / 120;
  for (int i = 0; i < std::abs(steps); ++i)
    if (!grid_.Key(steps > 0 ? rt::VK_UP : rt::VK_DOWN)) break;
  event->accept();
}

bool TGridView::event(QEvent* event) {
  // Tab moves between the grid's columns, not to the next widget.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(key);
      return true;
    }
  }
  if (event->type() == QEvent::ShortcutOverride) {
    // Plain keys belong to the grid; short-cuts with Ctrl or Alt, and function keys, go
    // to the menus first, as a menu's short-cut comes before a control's key (F2 reloads
    // while the screen offers it; a function key no enabled item carries reaches the grid).
    auto* key = static_cast<QKeyEvent*>(event);
    const bool function_key = key->key() >= Qt::Key_F1 && key->key() <= Qt::Key_F35;
    if (!(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && !function_key) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

}  // namespace desk
