// Named parameters of a report query. A report's SQL names its parameters (":P_CDFILIAL");
// the values never enter the text: each mark becomes the backend's positional
// placeholder ("?", which the PostgreSQL layer renumbers to $n) and its value is bound.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "server/core/database.h"

namespace srv {

// A report query ready to run: positional placeholders and the values in their order
// (a name used twice binds its value twice).
struct PositionalQuery {
  std::string sql;
  std::vector<SqlValue> params;
};

// A report's SQL the server cannot run as written: a mark of a parameter the report
// does not declare, or a bare "?" (which would take a positional value).
struct ReportQueryError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The :NAME marks of a query in order of first appearance; quoted literals ('…'),
// quoted identifiers ("…"), comments (-- …) and casts (::type) are skipped.
std::vector<std::string> QueryParamNames(const std::string& query);

// Replaces every :NAME mark by "?" and lists the bound values in mark order. Names
// compare case-insensitively. Throws ReportQueryError for a mark without a value or a
// bare "?" outside quotes.
PositionalQuery ToPositional(const std::string& query, const std::vector<std::pair<std::string, SqlValue>>& values);

bool SameParamName(const std::string& a, const std::string& b);

}  // namespace srv
