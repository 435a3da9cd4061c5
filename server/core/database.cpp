#include "server/core/database.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace srv {

int ResultSet::ColumnIndex(const std::string& name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i] == name) return static_cast<int>(i);
  }
  throw std::out_of_range("no column " + name + " in result");
}

bool ResultSet::IsNull(std::size_t row, int col) const {
  return std::holds_alternative<std::monostate>(rows_.at(row).at(col));
}

std::string ResultSet::Text(std::size_t row, int col) const {
  const SqlValue& v = rows_.at(row).at(col);
  if (auto s = std::get_if<std::string>(&v)) return *s;
  if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  if (auto d = std::get_if<double>(&v)) {
    std::ostringstream out;
    out << *d;
    return out.str();
  }
  return {};
}

std::string_view ResultSet::TextView(std::size_t row, int col, std::string& scratch) const {
  if (auto s = std::get_if<std::string>(&rows_.at(row).at(col))) return *s;
  scratch = Text(row, col);
  return scratch;
}

std::string ResultSet::TakeText(std::size_t row, int col) {
  if (auto s = std::get_if<std::string>(&rows_.at(row).at(col))) return std::move(*s);
  return Text(row, col);
}

std::int64_t ResultSet::Int(std::size_t row, int col) const {
  const SqlValue& v = rows_.at(row).at(col);
  if (auto i = std::get_if<std::int64_t>(&v)) return *i;
  if (auto d = std::get_if<double>(&v)) return static_cast<std::int64_t>(*d);
  if (auto s = std::get_if<std::string>(&v)) return std::strtoll(s->c_str(), nullptr, 10);
  return 0;
}

double ResultSet::Float(std::size_t row, int col) const {
  const SqlValue& v = rows_.at(row).at(col);
  if (auto d = std::get_if<double>(&v)) return *d;
  if (auto i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  if (auto s = std::get_if<std::string>(&v)) return std::strtod(s->c_str(), nullptr);
  return 0;
}

}  // namespace srv
