// Routines over the data grid: a column's text in the current row and the index of the
// column that shows a field.
#pragma once

#include <string>

#include "platform/runtime/ui/dbgrid.h"

namespace clib {

// Index of the column showing the field (case-insensitive name), -1 when none does.
int IndiceCol(const rt::TDBGrid& grid, const std::string& field);

// The text of the column showing `field` in the current row. edit true: the edit text —
// what the open cell editor holds when that column is being edited, else the field's
// edit text (OnGetText with display false); edit false: the display text. "" when no
// column shows the field or the grid has no open dataset.
std::string GridText(const rt::TDBGrid& grid, const std::string& field, bool edit);

}  // namespace clib
