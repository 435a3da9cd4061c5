// A report's run laid out for presentation: the layout's bands (header, groups with
// their captions and totals, detail rows, a summary) applied to the rows the server
// returned, every value formatted with the user's separators. The host paints the
// document (preview, print, PDF); the CSV export writes the detail rows and the summary
// for spreadsheets.
//
// The layout is JSON kept with the report's definition on the server:
//   header  [{label, field, format}]         fields of the first row: the identification
//                                             repeated in every page's header
//   parameters [{label, param}]               what the report was asked for, on its first page
//   range   {label, from, to, pad, all_param, all_equals}
//                                             a range of two parameters, printed as asked:
//                                             "01", "01 a 03", "a partir de 01", "até 03",
//                                             "todas" (no bound, or all_param = all_equals);
//                                             a bound shorter than `pad` is read zero-padded
//   notes   [{param, equals, text}]           a line shown when a parameter ran with that value
//   empty   text                              shown when there are no rows
//   missing {param, text}                     shown instead when that parameter ran blank
//   groups  [{keys, caption, total, split, units, filled}]
//                                             outermost first; a group breaks when its
//                                             keys change; caption fields as header;
//                                             total: label of its total line; split:
//                                             subtotals per value of totals.split too;
//                                             units: the field of the quantity whose units
//                                             the group's rows fill (labour_units.h): each
//                                             unit left free becomes an absent row, and the
//                                             caption ends "filled: n de m"
//   detail  {present, absent, columns: [{title, field, width, format, type_field, map, align}]}
//           a row whose `present` field is blank shows `absent` in its first column only
//   totals  {field, format, split, blank, report, report_range, report_split}
//           report: label of the report's total; report_range: its label when the range
//           is bounded (followed by the range)
//   summary {title, keys, total, columns: [{title, field, format, type_field, map}]}
//           after the report's total, one line per distinct value of `keys` among the
//           present rows, its columns placed under the detail's; the column of the totals
//           field sums it, another shows its distinct values joined by ", "; a column
//           naming a detail column's field without a format, type field or map of its
//           own shows its values as the detail does
// Formats: "" (the text), a number pattern ("#,##0.00", "0.##"), "units" (the units of a
// quantity), "registration" (the mask of the type in `type_field`), "crew_time" ("0800"
// -> "08:00"), "hours" (decimal hours as hh:mm), "datetime" (ISO text as dd/mm/yyyy
// hh:mm). A map turns values into texts; its "*" entry stands for any other non-blank
// value.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clientlib/report_engine.h"
#include "platform/runtime/locale_format.h"

namespace clib {

struct TReportField {
  std::string label, field, format;
};

struct TReportColumn {
  std::string title, field, format, type_field;
  std::vector<std::pair<std::string, std::string>> map;
  int width = 10;  // relative width, in characters
  bool right = false;
};

struct TReportGroup {
  std::vector<std::string> keys;
  std::vector<TReportField> caption;
  std::string total;
  bool split = false;
  std::string units, filled;  // the quantity's field and the label of "n de m"
};

struct TReportNote {
  std::string param, equals, text;
};

struct TReportTotals {
  std::string field, format, split, blank, report, report_range;
  bool report_split = false;
};

struct TReportParameter {
  std::string label, param;
};

struct TReportRange {
  std::string label, from, to, all_param, all_equals;
  int pad = 0;
};

struct TReportMissing {
  std::string param, text;
};

struct TReportSummary {
  std::string title, total;
  std::vector<std::string> keys;
  std::vector<TReportColumn> columns;  // one per detail column; a blank field leaves it empty
};

struct TReportLayout {
  std::vector<TReportField> header;
  std::vector<TReportParameter> parameters;
  std::optional<TReportRange> range;
  std::vector<TReportNote> notes;
  std::string empty;
  std::optional<TReportMissing> missing;
  std::vector<TReportGroup> groups;
  std::string present, absent;
  std::vector<TReportColumn> columns;
  std::optional<TReportTotals> totals;
  std::optional<TReportSummary> summary;
};

// Reads a layout; throws std::invalid_argument saying what is wrong.
TReportLayout ParseReportLayout(const std::string& json);

enum class TReportLineKind { Group, ColumnTitles, Detail, Split, Total };

struct TReportLine {
  TReportLineKind kind;
  int level = 0;                   // group depth, 0 outermost; the report's own totals: -1
  std::string text;                // Group: the caption; Split and Total: the label
  std::vector<std::string> cells;  // Detail and ColumnTitles: one per column; Split and Total: the amount
};

struct TReportDocument {
  std::string title;
  std::vector<std::string> header;      // "Label: value", on every page
  std::vector<std::string> parameters;  // "Label: value", on the first page
  std::string issued;                   // when and by whom, on the first page ("" when unknown)
  std::vector<std::string> notes;
  std::vector<TReportColumn> columns;
  int total_column = -1;  // the column whose place the amounts of totals take
  std::vector<TReportLine> lines;
  std::string empty_text;  // shown when there are no lines
};

// Throws std::invalid_argument when the layout cannot be read or names a field the
// rows do not have.
TReportDocument BuildReportDocument(const TReportRun& run, const rt::FormatSettings& settings);

// The detail rows as CSV for spreadsheets: UTF-8 with a byte-order mark, CRLF lines, a
// line of titles, then per row the group captions' values and the columns' values (a
// row without its `present` field shows `absent`, as in the document; free units are
// rows of their own). The summary follows after an empty line: its title, its column
// titles, one line per summary line (its amount a plain number). Fields
// are separated by ";" when the user's decimal separator is "," (else ","); numbers use
// the user's decimal separator without thousands separators; texts that a spreadsheet
// would take for a formula (=, +, -, @ first) start with an apostrophe.
std::string ReportCsv(const TReportRun& run, const rt::FormatSettings& settings);

}  // namespace clib
