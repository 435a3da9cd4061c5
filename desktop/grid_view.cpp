#include "desktop/grid_view.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <cstdlib>

#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/input.h"
#include "desktop/qt_canvas.h"

namespace desk {

namespace {

int paint_depth = 0;

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

int CurrentRecNo(const rt::TDBGrid& grid) {
  const rt::TClientDataSet* data = grid.DataSet();
  return data && data->Active() ? data->RecNo() : 0;
}

}  // namespace

bool TGridView::Painting() { return paint_depth > 0; }

TGridView::TGridView(rt::TDBGrid& grid, QWidget* parent)
    : QWidget(parent), grid_(grid), editor_(new QLineEdit(this)), ellipsis_(new QToolButton(this)),
      pick_(new QToolButton(this)), rows_(new QScrollBar(Qt::Vertical, this)) {
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
  rows_->setObjectName("rows");
  rows_->setFocusPolicy(Qt::NoFocus);
  rows_->hide();
  // Moving the bar moves the current row, as a click on that row would (never appends).
  connect(rows_, &QScrollBar::valueChanged, this, [this](int recno) {
    if (!syncing_ && recno != CurrentRecNo(grid_)) grid_.SelectCell(recno, grid_.SelectedIndex());
  });
  connect(ellipsis_, &QToolButton::clicked, this, [this] { grid_.EditButtonClick(); });
  connect(pick_, &QToolButton::clicked, this, [this] { ShowPickList(); });
}

int TGridView::VirtualKeyOf(int qt_key) {
  switch (qt_key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return rt::VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return rt::VK_RETURN;
    case Qt::Key_Escape: return rt::VK_ESCAPE;
    case Qt::Key_PageUp: return rt::VK_PRIOR;
    case Qt::Key_PageDown: return rt::VK_NEXT;
    case Qt::Key_End: return rt::VK_END;
    case Qt::Key_Home: return rt::VK_HOME;
    case Qt::Key_Left: return rt::VK_LEFT;
    case Qt::Key_Up: return rt::VK_UP;
    case Qt::Key_Right: return rt::VK_RIGHT;
    case Qt::Key_Down: return rt::VK_DOWN;
    case Qt::Key_Insert: return rt::VK_INSERT;
    case Qt::Key_F2: return rt::VK_F2;
    default: return 0;
  }
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
  const bool pick = column && !column->PickList().empty() && !cell.isEmpty() && grid_.Focused() && grid_.CanEditColumn();
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
  setEnabled(grid_.EnabledInChain());
  update();
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
  rt::TColumn* column = grid_.SelectedColumn();
  if (!column || column->PickList().empty()) return;
  QMenu menu(this);
  menu.setObjectName("pickListMenu");
  const auto& items = column->PickList();
  for (int i = 0; i < static_cast<int>(items.size()); ++i)
    menu.addAction(Q(items[static_cast<size_t>(i)]))->setData(i);
  const QRect cell = SelectedCellRect();
  if (QAction* chosen = menu.exec(mapToGlobal(cell.bottomLeft())))
    grid_.PickListChoose(chosen->data().toInt());
}

void TGridView::keyPressEvent(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  if (event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier)) {
    ShowPickList();
    return;
  }
  if (event->key() == Qt::Key_Backspace) {
    grid_.TypeChar(rt::Input::kBackspace);
    return;
  }
  if (const int vk = VirtualKeyOf(event->key())) {
    grid_.Key(vk, shift || event->key() == Qt::Key_Backtab);
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
    // Plain keys belong to the grid; short-cuts with Ctrl or Alt go to the menus.
    auto* key = static_cast<QKeyEvent*>(event);
    if (!(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

}  // namespace desk
