// The report engine's server side: the reports of a report code and the run of one by
// name with parameter values. The definitions (title, query, declared parameters,
// layout) live in the database; the client sends names and values only, and every
// value is bound as a statement parameter.
#include <spdlog/spdlog.h>

#include <algorithm>
#include <optional>

#include "platform/runtime/packet.h"
#include "server/core/methods.h"
#include "server/core/report_query.h"

namespace srv {
namespace {

struct ReportDefinition {
  std::string name, title, query, branch_param, layout;
  std::vector<std::string> params;  // declared, in order
};

std::vector<std::string> DeclaredParams(Database& db, const std::string& code, const std::string& name) {
  const ResultSet r = db.Query(
      "SELECT name FROM report_parameters WHERE report_code = ? AND report_name = ? ORDER BY position", {code, name});
  std::vector<std::string> names;
  for (std::size_t i = 0; i < r.size(); ++i) names.push_back(r.Text(i, 0));
  return names;
}

ReportDefinition RequireReport(Database& db, const std::string& code, const std::string& name) {
  const ResultSet r = db.Query(
      "SELECT title, query_text, branch_param, layout FROM report_definitions WHERE report_code = ? AND name = ?",
      {code, name});
  if (r.empty()) throw ServiceError(texts::ReportUnknown(name, code));
  return {name, r.Text(0, 0), r.Text(0, 1), r.Text(0, 2), r.Text(0, 3), DeclaredParams(db, code, name)};
}

using NamedValues = std::vector<std::pair<std::string, SqlValue>>;

// The [name, value] pairs the client sent (value: text or null).
NamedValues ReadPairs(const rt::Variant& list) {
  NamedValues values;
  for (const rt::Variant& item : list.AsArray()) {
    const bool pair = item.type() == rt::Variant::Type::Array && item.AsArray().size() == 2 &&
                      item.AsArray()[0].type() == rt::Variant::Type::String &&
                      (item.AsArray()[1].type() == rt::Variant::Type::String || item.AsArray()[1].IsNull());
    if (!pair) {
      throw InvalidParams("GetDadosRelatorio: parameter 4 must be a list of [name, text or null] pairs, got " +
                          item.Describe());
    }
    const rt::Variant& value = item.AsArray()[1];
    values.emplace_back(item.AsArray()[0].AsString(), value.IsNull() ? SqlValue() : SqlValue(value.AsString()));
  }
  return values;
}

// The values in the report's declared order; refuses undeclared, repeated and missing ones.
NamedValues CheckAgainstDeclared(const ReportDefinition& report, const NamedValues& sent) {
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const std::string& name = sent[i].first;
    const auto declared = std::find_if(report.params.begin(), report.params.end(),
                                       [&](const std::string& d) { return SameParamName(d, name); });
    if (declared == report.params.end()) {
      throw ServiceError(texts::ReportParamUndeclared(report.name, name));
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameParamName(sent[j].first, name)) {
        throw ServiceError(texts::ReportParamRepeated(report.name, name));
      }
    }
  }
  NamedValues ordered;
  for (const std::string& d : report.params) {
    const auto found = std::find_if(sent.begin(), sent.end(), [&](const auto& v) { return SameParamName(v.first, d); });
    if (found == sent.end()) {
      throw ServiceError(texts::ReportParamMissing(report.name, d));
    }
    ordered.emplace_back(d, found->second);
  }
  return ordered;
}

// The type of a result column: text when any value is text, else float when any is a
// float, else integer; a column of nulls only is text.
rt::FieldType ColumnType(const ResultSet& r, int col) {
  bool any_float = false, any_int = false;
  for (std::size_t i = 0; i < r.size(); ++i) {
    const SqlValue v = r.Value(i, col);
    if (std::holds_alternative<std::string>(v)) return rt::FieldType::String;
    any_float |= std::holds_alternative<double>(v);
    any_int |= std::holds_alternative<std::int64_t>(v);
  }
  return any_float ? rt::FieldType::Float : any_int ? rt::FieldType::Integer : rt::FieldType::String;
}

int CodePoints(const std::string& s) {
  return static_cast<int>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

rt::Variant Cell(const ResultSet& r, std::size_t row, int col, rt::FieldType type) {
  if (r.IsNull(row, col)) return nullptr;
  switch (type) {
    case rt::FieldType::Float:
      return r.Float(row, col);
    case rt::FieldType::Integer:
      return r.Int(row, col);
    default:
      return r.Text(row, col);
  }
}

// The rows as a data packet: one field per column, typed by its values, strings as
// wide as the widest value.
rt::DataPacket ToPacket(const ResultSet& r) {
  rt::DataPacket packet;
  const int columns = static_cast<int>(r.columns().size());
  std::vector<rt::FieldType> types;
  for (int c = 0; c < columns; ++c) {
    rt::FieldDef f;
    f.name = r.columns()[static_cast<std::size_t>(c)];
    std::transform(f.name.begin(), f.name.end(), f.name.begin(), [](unsigned char ch) { return std::toupper(ch); });
    f.type = ColumnType(r, c);
    f.size = 1;
    types.push_back(f.type);
    packet.fields.push_back(std::move(f));
  }
  packet.rows.reserve(r.size());
  for (std::size_t i = 0; i < r.size(); ++i) {
    rt::Row row;
    row.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      row.push_back(Cell(r, i, c, types[static_cast<std::size_t>(c)]));
      rt::FieldDef& f = packet.fields[static_cast<std::size_t>(c)];
      if (f.type == rt::FieldType::String && !row.back().IsNull())
        f.size = std::max(f.size, CodePoints(row.back().AsString()));
    }
    packet.rows.push_back(std::move(row));
  }
  return packet;
}

}  // namespace

rt::Variant GetRelatorios(CallContext& c) {
  c.RequireBranch(c.Str(0));
  const std::string& code = c.Str(1);
  const ResultSet r =
      c.db.Query("SELECT name, title FROM report_definitions WHERE report_code = ? ORDER BY position, name", {code});
  rt::VariantArray reports;
  for (std::size_t i = 0; i < r.size(); ++i) {
    rt::VariantArray params;
    for (const std::string& p : DeclaredParams(c.db, code, r.Text(i, 0))) params.emplace_back(p);
    reports.emplace_back(rt::VariantArray{r.Text(i, 0), r.Text(i, 1), std::move(params)});
  }
  return reports;
}

rt::Variant GetDadosRelatorio(CallContext& c) {
  c.RequireBranch(c.Str(0));
  const ReportDefinition report = RequireReport(c.db, c.Str(1), c.Str(2));
  const NamedValues values = CheckAgainstDeclared(report, ReadPairs(c.params[3]));
  // A report scoped by a branch reads only a branch the operator was granted.
  for (const auto& [name, value] : values) {
    if (SameParamName(name, report.branch_param) && std::holds_alternative<std::string>(value) &&
        !IsBlank(std::get<std::string>(value))) {
      c.RequireBranch(std::get<std::string>(value));
    }
  }
  PositionalQuery query;
  try {
    query = ToPositional(report.query, values);
  } catch (const ReportQueryError& e) {
    spdlog::error("report \"{}\" of {}: {}", report.name, c.Str(1), e.what());
    throw ServiceError(texts::ReportInvalid(report.name));
  }
  Transaction snapshot(c.db, false);  // the rows of one moment
  rt::DataPacket rows = ToPacket(c.db.Query(query.sql, query.params));
  snapshot.Commit();
  return rt::VariantArray{report.title, report.layout, std::move(rows)};
}

}  // namespace srv
