// A report's rows as CSV (report_document.h): the detail rows with the free units, then
// the summary, every number plain so that a spreadsheet sums it.
#include "platform/clientlib/report_document.h"
#include "platform/clientlib/report_rows.h"
#include "platform/clientlib/report_summary.h"
#include "platform/clientlib/report_units.h"

namespace clib {
namespace {

using report::Bind;
using report::BoundField;
using report::Rows;

std::string CsvField(const std::string& text, char separator) {
  std::string value = text;
  if (!value.empty() && std::string("=+-@").find(value[0]) != std::string::npos) value = "'" + value;
  if (value.find_first_of(std::string("\"\r\n") + separator) == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

class CsvWriter {
 public:
  explicit CsvWriter(char separator) : separator_(separator) {}
  void Line(const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i)
      out_ += (i ? std::string(1, separator_) : "") + CsvField(cells[i], separator_);
    out_ += "\r\n";
  }
  std::string Take() { return std::move(out_); }

 private:
  char separator_;
  std::string out_ = "\xEF\xBB\xBF";
};

// The layout with its number patterns stripped of thousands separators.
TReportLayout PlainNumbers(TReportLayout layout) {
  for (TReportGroup& g : layout.groups)
    for (TReportField& f : g.caption) f.format = report::WithoutGrouping(f.format);
  for (TReportColumn& c : layout.columns) c.format = report::WithoutGrouping(c.format);
  if (layout.summary)
    for (TReportColumn& c : layout.summary->columns) c.format = report::WithoutGrouping(c.format);
  if (layout.totals) layout.totals->format = report::WithoutGrouping(layout.totals->format);
  return layout;
}

void WriteDetail(const TReportLayout& layout, const Rows& rows, const rt::FormatSettings& settings, CsvWriter& csv) {
  std::vector<BoundField> fields;
  std::vector<std::string> titles;
  for (const TReportGroup& g : layout.groups)
    for (const TReportField& f : g.caption) fields.push_back(Bind(rows, f.field, f.format)), titles.push_back(f.label);
  for (const TReportColumn& c : layout.columns)
    fields.push_back(Bind(rows, c.field, c.format, c.type_field, c.map)), titles.push_back(c.title);
  const int present = layout.present.empty() ? -1 : rows.Index(layout.present);
  csv.Line(titles);
  const std::size_t first_column = fields.size() - layout.columns.size();
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const bool absent = !rows.Filled(row, present, settings);
    std::vector<std::string> cells;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (absent && i >= first_column)
        cells.push_back(i == first_column ? layout.absent : "");
      else
        cells.push_back(fields[i].Text(rows, row, settings));
    }
    csv.Line(cells);
  }
}

void WriteSummary(const TReportLayout& layout, const Rows& rows, const rt::FormatSettings& settings, CsvWriter& csv) {
  int amount_column = -1;
  const std::vector<report::TSummaryLine> lines = report::Summarize(layout, rows, settings, amount_column);
  if (lines.empty()) return;
  csv.Line({});
  csv.Line({layout.summary->title});
  std::vector<std::string> titles;
  for (const TReportColumn& c : layout.summary->columns) titles.push_back(c.title);
  csv.Line(titles);
  for (const report::TSummaryLine& line : lines) {
    std::vector<std::string> cells = line.cells;
    if (amount_column >= 0)
      cells[static_cast<std::size_t>(amount_column)] = rt::FormatFloat(layout.totals->format, line.amount, settings);
    csv.Line(cells);
  }
}

}  // namespace

std::string ReportCsv(const TReportRun& run, const rt::FormatSettings& settings) {
  const TReportLayout layout = PlainNumbers(ParseReportLayout(run.layout));
  const rt::DataPacket packet = report::WithFreeUnits(layout, run.rows, settings);
  const Rows rows(packet);
  CsvWriter csv(settings.decimal_separator == ',' ? ';' : ',');
  WriteDetail(layout, rows, settings, csv);
  WriteSummary(layout, rows, settings, csv);
  return csv.Take();
}

}  // namespace clib
