// The search list of the screens (the dialog service's PickList): a modal,
// keyboard-driven dialog with a filter box that narrows the rows as the user types
// (incremental search over every shown column), a table, Enter to choose and Escape to
// cancel. The keyboard starts on the table with the first row selected; characters
// typed there go into the filter. With no rows it shows the list's empty-list text
// instead of the table.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/ui/services.h"

class QLabel;
class QLineEdit;
class QTableWidget;

namespace desk {

class TSearchDialog : public QDialog {
  Q_OBJECT
 public:
  TSearchDialog(const std::string& title, const std::string& empty_text, const std::vector<rt::TPickColumn>& columns,
                const std::vector<std::vector<std::string>>& rows, QWidget* parent = nullptr);

  // The index (into the rows given) of the row chosen; nullopt until one is chosen.
  std::optional<int> Chosen() const { return chosen_; }
  // Rows still shown under the filter, in order (indexes into the rows given).
  std::vector<int> ShownRows() const;

  QLineEdit* FilterBox() const { return filter_; }
  QTableWidget* Table() const { return table_; }
  QLabel* EmptyLabel() const { return empty_; }

  // Narrows the table to the rows with a cell containing the text (case-insensitive).
  void ApplyFilter(const QString& text);
  // Chooses the current row and closes (nothing when no row is shown).
  void ChooseCurrent();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Wide enough to show every column without scrolling sideways (the last column says
  // where a professional is booked), at least 560 px, at most the screen's width.
  int WidthForColumns() const;

  QLineEdit* filter_;
  QTableWidget* table_;
  QLabel* empty_;
  std::optional<int> chosen_;
};

}  // namespace desk
