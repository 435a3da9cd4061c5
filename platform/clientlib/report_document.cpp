#include "platform/clientlib/report_document.h"

#include "platform/clientlib/net/client_texts.h"
#include "platform/clientlib/report_rows.h"
#include "platform/clientlib/report_summary.h"
#include "platform/clientlib/report_units.h"
#include "platform/clientlib/routines.h"

namespace clib {
namespace {

using report::BoundField;
using report::Rows;

// The value a parameter ran with ("" when null or not sent).
std::string ParamValue(const TReportRun& run, const std::string& name) {
  for (const auto& [param, value] : run.params)
    if (param == name) return value.value_or("");
  return "";
}

// The range as asked, and whether it takes everything.
struct AskedRange {
  bool all = true;
  std::string text;
};

AskedRange Asked(const TReportRange& range, const TReportRun& run) {
  const std::string from = Ajusta(ParamValue(run, range.from), range.pad);
  const std::string to = Ajusta(ParamValue(run, range.to), range.pad);
  const bool every = !range.all_param.empty() && ParamValue(run, range.all_param) == range.all_equals;
  if (every || (from.empty() && to.empty())) return {true, ClientText(TClientText::kReportRangeAll)};
  if (to.empty()) return {false, ClientText(TClientText::kReportRangeFrom, {from})};
  if (from.empty()) return {false, ClientText(TClientText::kReportRangeTo, {to})};
  if (from == to) return {false, from};
  return {false, ClientText(TClientText::kReportRangeBetween, {from, to})};
}

std::string Labelled(const std::vector<TReportField>& fields, const std::vector<BoundField>& bound, const Rows& rows,
                     std::size_t row, const rt::FormatSettings& s, const char* between) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!out.empty()) out += between;
    out += fields[i].label + ": " + bound[i].Text(rows, row, s);
  }
  return out;
}

// Sums of the totals field, overall and per split value (in order of appearance).
struct Sums {
  double total = 0;
  std::vector<std::pair<std::string, double>> split;
  void Add(const std::string& key, double value) {
    total += value;
    for (auto& [k, v] : split)
      if (k == key) return void(v += value);
    split.emplace_back(key, value);
  }
};

// The first page's lines above the report: what it was asked for, when and by whom.
void DescribeRun(const TReportLayout& layout, const TReportRun& run, const rt::FormatSettings& s,
                 TReportDocument& doc) {
  for (const TReportParameter& p : layout.parameters) {
    const std::string value = ParamValue(run, p.param);
    doc.parameters.push_back(p.label + ": " + (EmptyString(value) ? ClientText(TClientText::kReportNotGiven) : value));
  }
  if (layout.range) doc.parameters.push_back(layout.range->label + ": " + Asked(*layout.range, run).text);
  if (run.made_at) doc.issued = ClientText(TClientText::kReportIssued, {report::DateTimeText(*run.made_at, s), run.made_by});
  for (const TReportNote& n : layout.notes)
    if (ParamValue(run, n.param) == n.equals) doc.notes.push_back(n.text);
  doc.empty_text = layout.empty.empty() ? "Nenhum registro para os parâmetros informados." : layout.empty;
  if (layout.missing && EmptyString(ParamValue(run, layout.missing->param))) doc.empty_text = layout.missing->text;
}

class DocumentBuilder {
 public:
  DocumentBuilder(const TReportRun& run, const rt::FormatSettings& s)
      : layout_(ParseReportLayout(run.layout)),
        packet_(report::WithFreeUnits(layout_, run.rows, s)),
        rows_(packet_),
        s_(s),
        unit_group_(report::UnitGroup(layout_)) {
    doc_.title = run.title;
    doc_.columns = layout_.columns;
    DescribeRun(layout_, run, s, doc_);
    report_label_ = layout_.totals ? layout_.totals->report : "";
    if (layout_.totals && layout_.range && !layout_.totals->report_range.empty()) {
      const AskedRange asked = Asked(*layout_.range, run);
      if (!asked.all) report_label_ = layout_.totals->report_range + ": " + asked.text;
    }
    for (const TReportField& f : layout_.header) header_.push_back(Bind(rows_, f.field, f.format));
    for (const TReportGroup& g : layout_.groups) {
      std::vector<int> keys;
      for (const std::string& k : g.keys) keys.push_back(rows_.Index(k));
      group_keys_.push_back(keys);
      std::vector<BoundField> caption;
      for (const TReportField& f : g.caption) caption.push_back(Bind(rows_, f.field, f.format));
      group_captions_.push_back(std::move(caption));
    }
    for (const TReportColumn& c : layout_.columns)
      columns_.push_back(Bind(rows_, c.field, c.format, c.type_field, c.map));
    if (!layout_.present.empty()) present_ = rows_.Index(layout_.present);
    if (layout_.totals) {
      amount_ = rows_.Index(layout_.totals->field);
      if (!layout_.totals->split.empty()) {
        split_ = Bind(rows_, layout_.totals->split, "");
        for (const TReportColumn& c : layout_.columns)
          if (c.field == layout_.totals->split) split_->map = c.map;
      }
      for (std::size_t i = 0; i < layout_.columns.size(); ++i)
        if (layout_.columns[i].field == layout_.totals->field) doc_.total_column = static_cast<int>(i);
    }
  }

  TReportDocument Build() {
    if (rows_.size() == 0) return std::move(doc_);
    for (std::size_t i = 0; i < header_.size(); ++i)
      doc_.header.push_back(layout_.header[i].label + ": " + header_[i].Text(rows_, 0, s_));
    open_.assign(layout_.groups.size(), Sums{});
    for (std::size_t row = 0; row < rows_.size(); ++row) {
      const std::size_t first_change = row == 0 ? 0 : FirstChangedGroup(row);
      if (row > 0) CloseGroups(first_change, row - 1);
      OpenGroups(first_change, row);
      AddDetail(row);
    }
    CloseGroups(0, rows_.size() - 1);
    if (layout_.totals) AddTotals(-1, report_, report_label_, layout_.totals->report_split, "");
    AddSummary();
    return std::move(doc_);
  }

 private:
  std::size_t FirstChangedGroup(std::size_t row) const {
    for (std::size_t g = 0; g < group_keys_.size(); ++g)
      for (int k : group_keys_[g])
        if (!(rows_.At(row, k) == rows_.At(row - 1, k))) return g;
    return group_keys_.size();
  }

  std::string Caption(std::size_t g, std::size_t row) const {
    std::string text = Labelled(layout_.groups[g].caption, group_captions_[g], rows_, row, s_, "   ");
    if (static_cast<int>(g) != unit_group_ || layout_.groups[g].filled.empty()) return text;
    const report::TFilled item = report::FilledUnits(layout_, rows_, row, s_);
    return text + (text.empty() ? "" : "   ") + layout_.groups[g].filled + ": " +
           ClientText(TClientText::kReportFilledOf, {std::to_string(item.filled), std::to_string(item.units)});
  }

  void ColumnTitles(int level, const std::vector<TReportColumn>& columns) {
    std::vector<std::string> titles;
    titles.reserve(columns.size());
    for (const TReportColumn& c : columns) titles.push_back(c.title);
    doc_.lines.push_back({TReportLineKind::ColumnTitles, level, "", titles});
  }

  void OpenGroups(std::size_t from, std::size_t row) {
    for (std::size_t g = from; g < layout_.groups.size(); ++g) {
      open_[g] = Sums{};
      doc_.lines.push_back({TReportLineKind::Group, static_cast<int>(g), Caption(g, row), {}});
    }
    if (from < layout_.groups.size() || (row == 0 && layout_.groups.empty()))
      ColumnTitles(static_cast<int>(layout_.groups.size()), layout_.columns);
  }

  // Closes groups from the innermost out to `from`; `row` is the last row inside them.
  void CloseGroups(std::size_t from, std::size_t row) {
    if (!layout_.totals) return;
    for (std::size_t g = layout_.groups.size(); g-- > from;) {
      const TReportGroup& group = layout_.groups[g];
      if (group.total.empty()) continue;
      const std::string what = group_captions_[g].empty() ? "" : group_captions_[g][0].Text(rows_, row, s_);
      AddTotals(static_cast<int>(g), open_[g], group.total, group.split, what);
    }
  }

  void AddTotals(int level, const Sums& sums, const std::string& label, bool split, const std::string& what) {
    const std::string& format = layout_.totals->format;
    if (split) {
      for (const auto& [key, value] : sums.split)
        doc_.lines.push_back({TReportLineKind::Split,
                              level,
                              key.empty() ? layout_.totals->blank : key,
                              {rt::FormatFloat(format, value, s_)}});
    }
    doc_.lines.push_back({TReportLineKind::Total,
                          level,
                          what.empty() ? label : label + ": " + what,
                          {rt::FormatFloat(format, sums.total, s_)}});
  }

  void AddDetail(std::size_t row) {
    std::vector<std::string> cells;
    const bool present = rows_.Filled(row, present_, s_);
    for (std::size_t c = 0; c < columns_.size(); ++c)
      cells.push_back(present ? columns_[c].Text(rows_, row, s_) : c == 0 ? layout_.absent : "");
    doc_.lines.push_back({TReportLineKind::Detail, static_cast<int>(layout_.groups.size()), "", std::move(cells)});
    if (!layout_.totals || !present) return;
    const double amount = report::Number(rows_.At(row, amount_));
    const std::string key = split_ ? split_->Text(rows_, row, s_) : "";
    report_.Add(key, amount);
    for (Sums& sums : open_) sums.Add(key, amount);
  }

  // The summary band after the report's total: its title, its column titles, its lines
  // with their amounts in the totals' format, and its own total.
  void AddSummary() {
    int amount_column = -1;
    const std::vector<report::TSummaryLine> lines = report::Summarize(layout_, rows_, s_, amount_column);
    if (lines.empty()) return;
    const int level = static_cast<int>(layout_.groups.size());
    doc_.lines.push_back({TReportLineKind::Group, 0, layout_.summary->title, {}});
    ColumnTitles(level, layout_.summary->columns);
    double total = 0;
    for (const report::TSummaryLine& line : lines) {
      std::vector<std::string> cells = line.cells;
      if (amount_column >= 0) cells[static_cast<std::size_t>(amount_column)] = rt::FormatFloat(layout_.totals->format, line.amount, s_);
      doc_.lines.push_back({TReportLineKind::Detail, level, "", std::move(cells)});
      total += line.amount;
    }
    doc_.lines.push_back({TReportLineKind::Total, -1, layout_.summary->total, {rt::FormatFloat(layout_.totals->format, total, s_)}});
  }

  TReportLayout layout_;
  rt::DataPacket packet_;  // the run's rows with the free units added
  Rows rows_;
  const rt::FormatSettings& s_;
  int unit_group_;
  TReportDocument doc_;
  std::string report_label_;
  std::vector<BoundField> header_, columns_;
  std::vector<std::vector<int>> group_keys_;
  std::vector<std::vector<BoundField>> group_captions_;
  int present_ = -1, amount_ = -1;
  std::optional<BoundField> split_;
  std::vector<Sums> open_;
  Sums report_;
};

}  // namespace

TReportDocument BuildReportDocument(const TReportRun& run, const rt::FormatSettings& settings) {
  return DocumentBuilder(run, settings).Build();
}

}  // namespace clib
