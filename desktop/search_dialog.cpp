#include "desktop/search_dialog.h"

#include <algorithm>

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "desktop/host_texts.h"
#include "desktop/qt_text.h"

namespace desk {

namespace {
constexpr int kRowRole = Qt::UserRole + 1;
}  // namespace

TSearchDialog::TSearchDialog(const std::string& title, const std::string& empty_text,
                             const std::vector<rt::TPickColumn>& columns,
                             const std::vector<std::vector<std::string>>& rows, QWidget* parent)
    : QDialog(parent), filter_(new QLineEdit(this)), table_(new QTableWidget(this)), empty_(new QLabel(this)) {
  setWindowTitle(Q(title));
  setModal(true);
  filter_->setPlaceholderText(HostText(THostText::kSearchPlaceholder));
  filter_->setObjectName("filter");
  table_->setObjectName("rows");
  table_->setColumnCount(static_cast<int>(columns.size()));
  QStringList titles;
  for (const auto& c : columns) titles << Q(c.title);
  table_->setHorizontalHeaderLabels(titles);
  table_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    for (int c = 0; c < static_cast<int>(columns.size()) && c < static_cast<int>(rows[r].size()); ++c) {
      auto* item = new QTableWidgetItem(Q(rows[r][c]));
      item->setData(kRowRole, r);
      item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
      table_->setItem(r, c, item);
    }
  }
  const int char_width = fontMetrics().averageCharWidth();
  for (int c = 0; c < static_cast<int>(columns.size()); ++c)
    if (columns[c].width > 0) table_->setColumnWidth(c, columns[c].width * char_width + 12);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setTabKeyNavigation(false);  // Tab goes between the list and the filter box
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  empty_->setText(Q(empty_text));
  empty_->setObjectName("empty");
  empty_->setAlignment(Qt::AlignCenter);
  const bool has_rows = !rows.empty();
  table_->setVisible(has_rows);
  empty_->setVisible(!has_rows);
  if (has_rows) table_->selectRow(0);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(filter_);
  layout->addWidget(table_);
  layout->addWidget(empty_);
  resize(WidthForColumns(), 360);

  connect(filter_, &QLineEdit::textChanged, this, &TSearchDialog::ApplyFilter);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { ChooseCurrent(); });
  filter_->installEventFilter(this);
  table_->installEventFilter(this);
  // The keyboard starts on the list, first row selected: arrows move, Enter chooses,
  // and typed text goes into the filter (see eventFilter).
  if (has_rows) {
    table_->setCurrentCell(0, 0);
    table_->setFocus();
  } else {
    filter_->setFocus();
  }
}

int TSearchDialog::WidthForColumns() const {
  int columns = 0;
  for (int c = 0; c < table_->columnCount(); ++c) columns += table_->columnWidth(c);
  const QMargins margins = layout()->contentsMargins();
  const int wanted = columns + 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width() +
                     margins.left() + margins.right();
  const QScreen* shown_on = screen();
  const int room = shown_on != nullptr ? shown_on->availableGeometry().width() : wanted;
  return std::clamp(wanted, std::min(560, room), std::max(room, 1));
}

std::vector<int> TSearchDialog::ShownRows() const {
  std::vector<int> shown;
  for (int r = 0; r < table_->rowCount(); ++r)
    if (!table_->isRowHidden(r)) shown.push_back(r);
  return shown;
}

void TSearchDialog::ApplyFilter(const QString& text) {
  const QString needle = text.trimmed();
  int first = -1;
  for (int r = 0; r < table_->rowCount(); ++r) {
    bool match = needle.isEmpty();
    for (int c = 0; !match && c < table_->columnCount(); ++c)
      if (auto* item = table_->item(r, c)) match = item->text().contains(needle, Qt::CaseInsensitive);
    table_->setRowHidden(r, !match);
    if (match && first < 0) first = r;
  }
  if (first >= 0)
    table_->selectRow(first);
  else
    table_->clearSelection();
}

void TSearchDialog::ChooseCurrent() {
  const int row = table_->currentRow();
  if (row < 0 || table_->isRowHidden(row) || table_->selectedItems().isEmpty()) return;
  chosen_ = row;
  accept();
}

bool TSearchDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        ChooseCurrent();
        return true;
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
        if (watched == filter_) {  // the filter box steers the table's selection
          const auto shown = ShownRows();
          if (shown.empty()) return true;
          const int step = (key->key() == Qt::Key_Up || key->key() == Qt::Key_PageUp) ? -1 : 1;
          const int jump = (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown) ? 10 : 1;
          auto at = std::find(shown.begin(), shown.end(), table_->currentRow());
          int pos = at == shown.end() ? 0 : static_cast<int>(at - shown.begin()) + step * jump;
          pos = std::clamp(pos, 0, static_cast<int>(shown.size()) - 1);
          table_->selectRow(shown[pos]);
          return true;
        }
        break;
      case Qt::Key_Backspace:
        if (watched == table_) {
          filter_->backspace();
          return true;
        }
        break;
      default:
        // Typing on the list narrows it: the text goes into the filter box while the
        // keyboard stays on the list.
        if (watched == table_ && !key->text().isEmpty() && key->text().at(0).isPrint() &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
          filter_->insert(key->text());
          return true;
        }
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace desk
