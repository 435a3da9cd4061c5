#include "server/core/database.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>

namespace srv {

std::vector<ResultSet> Database::QueryEach(const std::vector<Statement>& statements) {
  std::vector<ResultSet> results;
  results.reserve(statements.size());
  for (const Statement& statement : statements) results.push_back(Query(statement.sql, statement.params));
  return results;
}

int ResultSet::ColumnIndex(const std::string& name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i] == name) return static_cast<int>(i);
  }
  throw std::out_of_range("no column " + name + " in result");
}

const ResultSet::Cell& ResultSet::At(std::size_t row, int col) const {
  // No division (size() has one): this runs for every value the server reads.
  const std::size_t width = columns_.size();
  const std::size_t at = row * width + static_cast<std::size_t>(col);
  if (col < 0 || static_cast<std::size_t>(col) >= width || at >= cells_.size()) {
    throw std::out_of_range("no cell " + std::to_string(row) + ", " + std::to_string(col) + " in result");
  }
  return cells_[at];
}

void ResultSet::AddText(std::string_view text) {
  // Offsets are 32-bit: a result whose texts pass 4 GiB is refused, never wrapped.
  if (texts_.size() + text.size() > UINT32_MAX) throw std::length_error("result texts larger than 4 GiB");
  Cell cell{Cell::Kind::Text, {}};
  cell.as.text = {static_cast<std::uint32_t>(texts_.size()), static_cast<std::uint32_t>(text.size())};
  texts_.append(text);
  cells_.push_back(cell);
}

bool ResultSet::IsNull(std::size_t row, int col) const { return At(row, col).kind == Cell::Kind::Null; }

SqlValue ResultSet::Value(std::size_t row, int col) const {
  const Cell& cell = At(row, col);
  switch (cell.kind) {
    case Cell::Kind::Int:
      return cell.as.integer;
    case Cell::Kind::Float:
      return cell.as.real;
    case Cell::Kind::Text:
      return std::string(TextOf(cell));
    case Cell::Kind::Null:
      break;
  }
  return std::monostate{};
}

std::string ResultSet::Text(std::size_t row, int col) const {
  const Cell& cell = At(row, col);
  switch (cell.kind) {
    case Cell::Kind::Text:
      return std::string(TextOf(cell));
    case Cell::Kind::Int:
      return std::to_string(cell.as.integer);
    case Cell::Kind::Float: {
      std::ostringstream out;
      out << cell.as.real;
      return out.str();
    }
    case Cell::Kind::Null:
      break;
  }
  return {};
}

std::string_view ResultSet::TextView(std::size_t row, int col, std::string& scratch) const {
  const Cell& cell = At(row, col);
  if (cell.kind == Cell::Kind::Text) return TextOf(cell);
  scratch = Text(row, col);
  return scratch;
}

std::int64_t ResultSet::Int(std::size_t row, int col) const {
  const Cell& cell = At(row, col);
  switch (cell.kind) {
    case Cell::Kind::Int:
      return cell.as.integer;
    case Cell::Kind::Float:
      return static_cast<std::int64_t>(cell.as.real);
    case Cell::Kind::Text:
      return std::strtoll(std::string(TextOf(cell)).c_str(), nullptr, 10);
    case Cell::Kind::Null:
      break;
  }
  return 0;
}

double ResultSet::Float(std::size_t row, int col) const {
  const Cell& cell = At(row, col);
  switch (cell.kind) {
    case Cell::Kind::Float:
      return cell.as.real;
    case Cell::Kind::Int:
      return static_cast<double>(cell.as.integer);
    case Cell::Kind::Text:
      return std::strtod(std::string(TextOf(cell)).c_str(), nullptr);
    case Cell::Kind::Null:
      break;
  }
  return 0;
}

}  // namespace srv
