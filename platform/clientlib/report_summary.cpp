#include "platform/clientlib/report_summary.h"

#include <algorithm>
#include <map>

namespace clib::report {
namespace {

// Adds `text` to a cell of distinct values joined by ", ".
void AddDistinct(std::string& cell, const std::string& text) {
  if (text.empty()) return;
  const std::string joined = ", " + cell + ", ";
  if (joined.find(", " + text + ", ") != std::string::npos) return;
  cell += (cell.empty() ? "" : ", ") + text;
}

}  // namespace

std::vector<TSummaryLine> Summarize(const TReportLayout& layout, const Rows& rows, const rt::FormatSettings& settings,
                                    int& amount_column) {
  amount_column = -1;
  if (!layout.summary || !layout.totals) return {};
  const TReportSummary& summary = *layout.summary;
  std::vector<int> keys;
  for (const std::string& k : summary.keys) keys.push_back(rows.Index(k));
  std::vector<BoundField> columns(summary.columns.size());
  for (std::size_t c = 0; c < summary.columns.size(); ++c) {
    const TReportColumn& col = summary.columns[c];
    if (col.field == layout.totals->field) amount_column = static_cast<int>(c);
    if (!col.field.empty()) columns[c] = Bind(rows, col.field, col.format, col.type_field, col.map);
  }
  const int present = layout.present.empty() ? -1 : rows.Index(layout.present);
  const int amount = rows.Index(layout.totals->field);

  std::vector<TSummaryLine> lines;
  std::map<std::string, std::size_t> line_of;  // the keys' raw values -> its line
  for (std::size_t row = 0; row < rows.size(); ++row) {
    if (!rows.Filled(row, present, settings)) continue;
    std::string key;
    for (int k : keys) key += Raw(rows.At(row, k), settings) + '\x1f';
    const auto [at, added] = line_of.try_emplace(key, lines.size());
    if (added) lines.push_back({std::vector<std::string>(columns.size()), 0});
    TSummaryLine& line = lines[at->second];
    line.amount += Number(rows.At(row, amount));
    for (std::size_t c = 0; c < columns.size(); ++c)
      if (columns[c].index >= 0 && static_cast<int>(c) != amount_column)
        AddDistinct(line.cells[c], columns[c].Text(rows, row, settings));
  }
  std::stable_sort(lines.begin(), lines.end(), [](const TSummaryLine& a, const TSummaryLine& b) {
    return !a.cells.empty() && !b.cells.empty() && a.cells[0] < b.cells[0];
  });
  return lines;
}

}  // namespace clib::report
