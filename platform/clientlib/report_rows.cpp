#include "platform/clientlib/report_rows.h"

#include <cstdio>
#include <stdexcept>

#include "platform/clientlib/labour_units.h"
#include "platform/clientlib/routines.h"
#include "platform/runtime/edit_mask.h"

namespace clib::report {
namespace {

bool IsNumberPattern(const std::string& format) { return format.find_first_of("0#") != std::string::npos; }

std::string IsoDateTimeText(const std::string& iso, const rt::FormatSettings& s) {
  rt::DateTime dt;
  return rt::DateTime::FromIso(iso, dt) ? DateTimeText(dt, s) : iso;
}

std::string Mapped(const TextMap& map, const std::string& value) {
  std::string any;
  bool has_any = false;
  for (const auto& [from, to] : map) {
    if (from == value) return to;
    if (from == "*") any = to, has_any = true;
  }
  return has_any && !EmptyString(value) ? any : value;
}

// Formats one value as the layout asks.
std::string Format(const rt::Variant& v, const std::string& format, const std::string& type,
                   const rt::FormatSettings& s) {
  if (v.IsNull()) return "";
  if (format == "registration") return rt::FormatMaskText(PictPess(type), Raw(v, s), s);
  if (format == "crew_time") return EmptyString(Raw(v, s)) ? "" : rt::FormatMaskText("99:99;0", Raw(v, s), s);
  if (format == "hours") return HoursText(Number(v));
  if (format == "datetime") return IsoDateTimeText(Raw(v, s), s);
  if (format == "units") return std::to_string(UnitsOf(Number(v)));
  if (IsNumberPattern(format) && v.IsNumber()) return rt::FormatFloat(format, Number(v), s);
  return Raw(v, s);
}

}  // namespace

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

std::string DateTimeText(const rt::DateTime& dt, const rt::FormatSettings& s) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d%c%02d%c%04d %02d%c%02d", dt.day, s.date_separator, dt.month, s.date_separator,
                dt.year, dt.hour, s.time_separator, dt.minute);
  return text;
}

std::string WithoutGrouping(std::string format) {
  if (!IsNumberPattern(format)) return format;
  const std::size_t point = format.find('.');
  for (std::size_t i = std::min(point, format.size()); i-- > 0;)
    if (format[i] == ',') format.erase(i, 1);
  return format;
}

int Rows::Index(const std::string& field) const {
  const int i = packet_.FieldIndex(field);
  if (i < 0) throw std::invalid_argument("the layout names the field " + field + ", which the rows do not have");
  return i;
}

bool Rows::Filled(std::size_t row, int index, const rt::FormatSettings& settings) const {
  return index < 0 || !EmptyString(Raw(At(row, index), settings));
}

std::string BoundField::Text(const Rows& rows, std::size_t row, const rt::FormatSettings& s) const {
  const std::string type = type_index >= 0 ? Raw(rows.At(row, type_index), s) : "";
  std::string text = Format(rows.At(row, index), format, type, s);
  return map.empty() ? text : Mapped(map, text);
}

BoundField Bind(const Rows& rows, const std::string& field, const std::string& format, const std::string& type_field,
                TextMap map) {
  return {rows.Index(field), type_field.empty() ? -1 : rows.Index(type_field), format, std::move(map)};
}

}  // namespace clib::report
