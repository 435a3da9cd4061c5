// The summary band of a report: one line per distinct value of its keys among the
// present rows (for the allocation report: per professional and payment type, what is
// owed and the payable's entry number), ordered by its first column's text.
#pragma once

#include <string>
#include <vector>

#include "platform/clientlib/report_document.h"
#include "platform/clientlib/report_rows.h"

namespace clib::report {

struct TSummaryLine {
  std::vector<std::string> cells;  // one per summary column; the amount's cell is left ""
  double amount = 0;               // the sum of the totals field
};

// The summary's lines; none without a summary band. `amount_column` is set to the
// column that the totals field fills (-1 when none does).
std::vector<TSummaryLine> Summarize(const TReportLayout& layout, const Rows& rows, const rt::FormatSettings& settings,
                                    int& amount_column);

}  // namespace clib::report
