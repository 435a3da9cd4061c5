// A SQL string literal of a text, for migrations that write long texts (report queries
// and layouts) into rows.
#pragma once

#include <string>

namespace srv {

// `text` between single quotes, its quotes doubled.
inline std::string SqlLiteral(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

}  // namespace srv
