// The free units of a report's rows. A report of labour units gets one row per filled
// unit from the server; the units still free are added here, the way the allocation
// grid adds its free rows (alloc/grid_rows.h): per labour item its filled rows first,
// then one absent row per free unit up to the item's units (labour_units.h).
#pragma once

#include <cstddef>

#include "platform/clientlib/report_document.h"
#include "platform/clientlib/report_rows.h"

namespace clib::report {

// The group of the layout whose rows are units (its `units` field set); -1 for none.
int UnitGroup(const TReportLayout& layout);

// The rows with every free unit of the unit group as an absent row of its own (a copy
// of its item's first row with the `present` field null), and an item's absent rows
// that stood for "nobody" dropped. Without a unit group, the rows as they are.
rt::DataPacket WithFreeUnits(const TReportLayout& layout, const rt::DataPacket& rows,
                             const rt::FormatSettings& settings);

// How many of the unit group's rows from `first` on, up to the group's next break, are
// filled; and the units of that item.
struct TFilled {
  long long filled = 0, units = 0;
};
TFilled FilledUnits(const TReportLayout& layout, const Rows& rows, std::size_t first,
                    const rt::FormatSettings& settings);

}  // namespace clib::report
