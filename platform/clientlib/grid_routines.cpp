#include "platform/clientlib/grid_routines.h"

namespace clib {

int IndiceCol(const rt::TDBGrid& grid, const std::string& field) { return grid.Columns().IndexOfField(field); }

std::string GridText(const rt::TDBGrid& grid, const std::string& field, bool edit) {
  int col = IndiceCol(grid, field);
  if (col < 0) return "";
  rt::TField* f = grid.Columns()[col].Field();
  if (!f || !f->DataSet().Active()) return "";
  if (edit && grid.EditorMode() && grid.SelectedIndex() == col) return grid.EditorText();
  return edit ? f->EditText() : f->DisplayText();
}

}  // namespace clib
