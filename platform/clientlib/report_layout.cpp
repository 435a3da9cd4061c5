// Reading a report's layout (report_document.h describes its bands).
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "platform/clientlib/report_document.h"

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

TReportGroup Group(const json& g) {
  return {g.at("keys").get<std::vector<std::string>>(),
          Fields(g.value("caption", json())),
          Str(g, "total"),
          g.value("split", false),
          Str(g, "units"),
          Str(g, "filled")};
}

std::optional<TReportRange> Range(const json& j) {
  if (!j.contains("range")) return std::nullopt;
  const json& r = j.at("range");
  return TReportRange{Str(r, "label"), Str(r, "from"), Str(r, "to"), Str(r, "all_param"), Str(r, "all_equals"),
                      r.value("pad", 0)};
}

// A summary column that names a detail column's field and says nothing of its own
// format, type field or map shows its values as the detail does.
TReportColumn SummaryColumn(const json& c, const std::vector<TReportColumn>& detail) {
  TReportColumn col = Column(c);
  if (!col.format.empty() || !col.type_field.empty() || !col.map.empty()) return col;
  for (const TReportColumn& d : detail)
    if (d.field == col.field) col.format = d.format, col.type_field = d.type_field, col.map = d.map;
  return col;
}

std::optional<TReportSummary> Summary(const json& j, const std::vector<TReportColumn>& detail) {
  if (!j.contains("summary")) return std::nullopt;
  const json& s = j.at("summary");
  TReportSummary summary{Str(s, "title"), Str(s, "total"), s.value("keys", std::vector<std::string>()), {}};
  for (const json& c : s.value("columns", json::array())) summary.columns.push_back(SummaryColumn(c, detail));
  return summary;
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
    for (const json& p : j.value("parameters", json::array())) layout.parameters.push_back({Str(p, "label"), Str(p, "param")});
    layout.range = Range(j);
    for (const json& n : j.value("notes", json::array()))
      layout.notes.push_back({Str(n, "param"), Str(n, "equals"), Str(n, "text")});
    layout.empty = Str(j, "empty");
    if (j.contains("missing")) layout.missing = TReportMissing{Str(j.at("missing"), "param"), Str(j.at("missing"), "text")};
    for (const json& g : j.value("groups", json::array())) layout.groups.push_back(Group(g));
    const json detail = j.value("detail", json::object());
    layout.present = Str(detail, "present");
    layout.absent = Str(detail, "absent");
    for (const json& c : detail.value("columns", json::array())) layout.columns.push_back(Column(c));
    if (j.contains("totals")) {
      const json& t = j.at("totals");
      layout.totals = TReportTotals{Str(t, "field"),       Str(t, "format", "0.00"), Str(t, "split"),
                                    Str(t, "blank"),       Str(t, "report", "Total"), Str(t, "report_range"),
                                    t.value("report_split", false)};
    }
    layout.summary = Summary(j, layout.columns);
    return layout;
  } catch (const json::exception& e) {
    throw std::invalid_argument(std::string("report layout: ") + e.what());
  }
}

}  // namespace clib
