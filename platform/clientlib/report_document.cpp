#include "platform/clientlib/report_document.h"

#include <cmath>
#include <map>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "platform/clientlib/routines.h"
#include "platform/runtime/edit_mask.h"

namespace clib {
namespace {

using nlohmann::json;

std::string Str(const json& j, const char* key, const std::string& fallback = "") {
  const auto it = j.find(key);
  if (it == j.end() || it->is_null()) return fallback;
  if (!it->is_string()) throw std::invalid_argument(std::string("\"") + key + "\" must be a text");
  return it->get<std::string>();
}

std::vector<TReportField> Fields(const json& list) {
  std::vector<TReportField> out;
  if (list.is_null()) return out;
  if (!list.is_array()) throw std::invalid_argument("a field list must be a list");
  for (const json& f : list) out.push_back({Str(f, "label"), Str(f, "field"), Str(f, "format")});
  return out;
}

TReportColumn Column(const json& c) {
  TReportColumn col{Str(c, "title"), Str(c, "field"), Str(c, "format"), Str(c, "type_field"), {}, 10, false};
  if (c.contains("width")) col.width = c.at("width").get<int>();
  col.right = Str(c, "align") == "right";
  if (c.contains("map")) {
    for (const auto& [from, to] : c.at("map").items()) col.map.emplace_back(from, to.get<std::string>());
  }
  return col;
}

bool IsNumberPattern(const std::string& format) { return format.find_first_of("0#") != std::string::npos; }

// The raw text of a value: texts as they are, numbers in the user's plain form.
std::string Raw(const rt::Variant& v, const rt::FormatSettings& settings) {
  switch (v.type()) {
    case rt::Variant::Type::String:
      return v.AsString();
    case rt::Variant::Type::Float:
      return rt::FloatToStr(v.AsFloat(), settings);
    case rt::Variant::Type::Integer:
      return std::to_string(v.AsInt());
    case rt::Variant::Type::Null:
      return "";
    default:
      return v.Describe();
  }
}

double Number(const rt::Variant& v) { return v.IsNumber() ? v.AsFloat() : 0; }

std::string DateTimeText(const std::string& iso, const rt::FormatSettings& s) {
  rt::DateTime dt;
  if (!rt::DateTime::FromIso(iso, dt)) return iso;
  char text[32];
  std::snprintf(text, sizeof text, "%02d%c%02d%c%04d %02d%c%02d", dt.day, s.date_separator, dt.month, s.date_separator,
                dt.year, dt.hour, s.time_separator, dt.minute);
  return text;
}

std::string Mapped(const std::vector<std::pair<std::string, std::string>>& map, const std::string& value) {
  std::string any;
  bool has_any = false;
  for (const auto& [from, to] : map) {
    if (from == value) return to;
    if (from == "*") any = to, has_any = true;
  }
  return has_any && !EmptyString(value) ? any : value;
}

// Access to the run's rows by field name.
class Rows {
 public:
  explicit Rows(const rt::DataPacket& packet) : packet_(packet) {}
  int Index(const std::string& field) const {
    const int i = packet_.FieldIndex(field);
    if (i < 0) throw std::invalid_argument("the layout names the field " + field + ", which the rows do not have");
    return i;
  }
  const rt::Variant& At(std::size_t row, int index) const { return packet_.rows[row][static_cast<std::size_t>(index)]; }
  std::size_t size() const { return packet_.rows.size(); }

 private:
  const rt::DataPacket& packet_;
};

// Formats one value as the layout asks.
std::string Format(const rt::Variant& v, const std::string& format, const std::string& type,
                   const rt::FormatSettings& s) {
  if (v.IsNull()) return "";
  if (format == "registration") return rt::FormatMaskText(PictPess(type), Raw(v, s), s);
  if (format == "crew_time") return EmptyString(Raw(v, s)) ? "" : rt::FormatMaskText("99:99;0", Raw(v, s), s);
  if (format == "hours") return HoursText(Number(v));
  if (format == "datetime") return DateTimeText(Raw(v, s), s);
  if (IsNumberPattern(format) && v.IsNumber()) return rt::FormatFloat(format, Number(v), s);
  return Raw(v, s);
}

// A field of the layout resolved against the rows.
struct BoundField {
  int index = -1;
  int type_index = -1;
  std::string format;
  std::vector<std::pair<std::string, std::string>> map;

  std::string Text(const Rows& rows, std::size_t row, const rt::FormatSettings& s) const {
    const std::string type = type_index >= 0 ? Raw(rows.At(row, type_index), s) : "";
    std::string text = Format(rows.At(row, index), format, type, s);
    return map.empty() ? text : Mapped(map, text);
  }
};

BoundField Bind(const Rows& rows, const std::string& field, const std::string& format,
                const std::string& type_field = "", std::vector<std::pair<std::string, std::string>> map = {}) {
  return {rows.Index(field), type_field.empty() ? -1 : rows.Index(type_field), format, std::move(map)};
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

class DocumentBuilder {
 public:
  DocumentBuilder(const TReportRun& run, const rt::FormatSettings& s)
      : layout_(ParseReportLayout(run.layout)), rows_(run.rows), s_(s) {
    doc_.title = run.title;
    doc_.columns = layout_.columns;
    doc_.empty_text = layout_.empty.empty() ? "Nenhum registro para os parâmetros informados." : layout_.empty;
    for (const TReportNote& n : layout_.notes)
      for (const auto& [name, value] : run.params)
        if (name == n.param && value.value_or("") == n.equals) doc_.notes.push_back(n.text);
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
    doc_.header.clear();
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
    if (layout_.totals) AddTotals(-1, report_, layout_.totals->report, layout_.totals->report_split, "");
    return std::move(doc_);
  }

 private:
  std::size_t FirstChangedGroup(std::size_t row) const {
    for (std::size_t g = 0; g < group_keys_.size(); ++g)
      for (int k : group_keys_[g])
        if (!(rows_.At(row, k) == rows_.At(row - 1, k))) return g;
    return group_keys_.size();
  }

  void OpenGroups(std::size_t from, std::size_t row) {
    for (std::size_t g = from; g < layout_.groups.size(); ++g) {
      open_[g] = Sums{};
      doc_.lines.push_back({TReportLineKind::Group,
                            static_cast<int>(g),
                            Labelled(layout_.groups[g].caption, group_captions_[g], rows_, row, s_, "   "),
                            {}});
    }
    if (from < layout_.groups.size() || (row == 0 && layout_.groups.empty())) {
      std::vector<std::string> titles;
      for (const TReportColumn& c : layout_.columns) titles.push_back(c.title);
      doc_.lines.push_back({TReportLineKind::ColumnTitles, static_cast<int>(layout_.groups.size()), "", titles});
    }
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
    const bool present = present_ < 0 || !EmptyString(Raw(rows_.At(row, present_), s_));
    for (std::size_t c = 0; c < columns_.size(); ++c)
      cells.push_back(present ? columns_[c].Text(rows_, row, s_) : c == 0 ? layout_.absent : "");
    doc_.lines.push_back({TReportLineKind::Detail, static_cast<int>(layout_.groups.size()), "", std::move(cells)});
    if (!layout_.totals || !present) return;
    const double amount = Number(rows_.At(row, amount_));
    const std::string key = split_ ? split_->Text(rows_, row, s_) : "";
    report_.Add(key, amount);
    for (Sums& sums : open_) sums.Add(key, amount);
  }

  TReportLayout layout_;
  Rows rows_;
  const rt::FormatSettings& s_;
  TReportDocument doc_;
  std::vector<BoundField> header_, columns_;
  std::vector<std::vector<int>> group_keys_;
  std::vector<std::vector<BoundField>> group_captions_;
  int present_ = -1, amount_ = -1;
  std::optional<BoundField> split_;
  std::vector<Sums> open_;
  Sums report_;
};

std::string CsvField(const std::string& text, char separator) {
  std::string value = text;
  if (!value.empty() && std::string("=+-@").find(value[0]) != std::string::npos) value = "'" + value;
  if (value.find_first_of(std::string("\"\r\n") + separator) == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// A number pattern without thousands separators (a spreadsheet reads "1234,50").
std::string WithoutGrouping(std::string format) {
  if (!IsNumberPattern(format)) return format;
  const std::size_t point = format.find('.');
  for (std::size_t i = std::min(point, format.size()); i-- > 0;)
    if (format[i] == ',') format.erase(i, 1);
  return format;
}

}  // namespace

TReportLayout ParseReportLayout(const std::string& text) {
  json j;
  try {
    j = json::parse(text);
  } catch (const json::exception& e) {
    throw std::invalid_argument(std::string("report layout is not JSON: ") + e.what());
  }
  try {
    TReportLayout layout;
    layout.header = Fields(j.value("header", json()));
    for (const json& n : j.value("notes", json::array()))
      layout.notes.push_back({Str(n, "param"), Str(n, "equals"), Str(n, "text")});
    layout.empty = Str(j, "empty");
    for (const json& g : j.value("groups", json::array())) {
      TReportGroup group{g.at("keys").get<std::vector<std::string>>(), Fields(g.value("caption", json())),
                         Str(g, "total"), g.value("split", false)};
      layout.groups.push_back(std::move(group));
    }
    const json detail = j.value("detail", json::object());
    layout.present = Str(detail, "present");
    layout.absent = Str(detail, "absent");
    for (const json& c : detail.value("columns", json::array())) layout.columns.push_back(Column(c));
    if (j.contains("totals")) {
      const json& t = j.at("totals");
      layout.totals = TReportTotals{Str(t, "field"), Str(t, "format", "0.00"),  Str(t, "split"),
                                    Str(t, "blank"), Str(t, "report", "Total"), t.value("report_split", false)};
    }
    return layout;
  } catch (const json::exception& e) {
    throw std::invalid_argument(std::string("report layout: ") + e.what());
  }
}

TReportDocument BuildReportDocument(const TReportRun& run, const rt::FormatSettings& settings) {
  return DocumentBuilder(run, settings).Build();
}

std::string ReportCsv(const TReportRun& run, const rt::FormatSettings& settings) {
  TReportLayout layout = ParseReportLayout(run.layout);
  for (TReportGroup& g : layout.groups)
    for (TReportField& f : g.caption) f.format = WithoutGrouping(f.format);
  for (TReportColumn& c : layout.columns) c.format = WithoutGrouping(c.format);
  const char separator = settings.decimal_separator == ',' ? ';' : ',';
  const Rows rows(run.rows);
  std::vector<BoundField> fields;
  std::vector<std::string> titles;
  for (const TReportGroup& g : layout.groups)
    for (const TReportField& f : g.caption) fields.push_back(Bind(rows, f.field, f.format)), titles.push_back(f.label);
  for (const TReportColumn& c : layout.columns)
    fields.push_back(Bind(rows, c.field, c.format, c.type_field, c.map)), titles.push_back(c.title);
  const int present = layout.present.empty() ? -1 : rows.Index(layout.present);

  std::string out = "\xEF\xBB\xBF";
  auto line = [&](const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i)
      out += (i ? std::string(1, separator) : "") + CsvField(cells[i], separator);
    out += "\r\n";
  };
  line(titles);
  const std::size_t first_column = fields.size() - layout.columns.size();
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const bool absent = present >= 0 && EmptyString(Raw(rows.At(row, present), settings));
    std::vector<std::string> cells;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (absent && i >= first_column)
        cells.push_back(i == first_column ? layout.absent : "");
      else
        cells.push_back(fields[i].Text(rows, row, settings));
    }
    line(cells);
  }
  return out;
}

}  // namespace clib
