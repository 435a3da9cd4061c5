#include "server/core/report_query.h"

#include <algorithm>
#include <cctype>

namespace srv {
namespace {

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The end of the quoted run starting at `i` (a doubled quote stays inside).
std::size_t QuotedEnd(const std::string& q, std::size_t i) {
  const char quote = q[i];
  std::size_t j = i + 1;
  while (j < q.size()) {
    if (q[j] == quote) {
      if (j + 1 < q.size() && q[j + 1] == quote) {
        j += 2;
        continue;
      }
      return j + 1;
    }
    ++j;
  }
  return q.size();
}

// Walks the query: on_text for text that is copied as it is, on_mark for each :NAME,
// on_question for a bare "?".
template <typename Text, typename Mark, typename Question>
void Scan(const std::string& q, Text on_text, Mark on_mark, Question on_question) {
  std::size_t i = 0;
  while (i < q.size()) {
    const char c = q[i];
    std::size_t end = i + 1;
    if (c == '\'' || c == '"') {
      end = QuotedEnd(q, i);
    } else if (c == '-' && i + 1 < q.size() && q[i + 1] == '-') {
      end = std::min(q.find('\n', i), q.size());
    } else if (c == ':' && i + 1 < q.size() && q[i + 1] == ':') {
      end = i + 2;  // a cast: the type name after it is plain text
    } else if (c == ':' && i + 1 < q.size() && IsNameChar(q[i + 1])) {
      end = i + 1;
      while (end < q.size() && IsNameChar(q[end])) ++end;
      on_mark(q.substr(i + 1, end - i - 1));
      i = end;
      continue;
    } else if (c == '?') {
      on_question();
    }
    on_text(std::string_view(q).substr(i, end - i));
    i = end;
  }
}

}  // namespace

bool SameParamName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::toupper(x) == std::toupper(y);
         });
}

std::vector<std::string> QueryParamNames(const std::string& query) {
  std::vector<std::string> names;
  Scan(
      query, [](std::string_view) {},
      [&](const std::string& name) {
        if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameParamName(n, name); }))
          names.push_back(name);
      },
      [] {});
  return names;
}

PositionalQuery ToPositional(const std::string& query, const std::vector<std::pair<std::string, SqlValue>>& values) {
  PositionalQuery out;
  out.sql.reserve(query.size());
  Scan(
      query, [&](std::string_view text) { out.sql += text; },
      [&](const std::string& name) {
        const auto it =
            std::find_if(values.begin(), values.end(), [&](const auto& v) { return SameParamName(v.first, name); });
        if (it == values.end())
          throw ReportQueryError("the query uses :" + name + ", which the report does not declare");
        out.sql += '?';
        out.params.push_back(it->second);
      },
      [] { throw ReportQueryError("the query holds a bare \"?\"; parameters are written :NAME"); });
  return out;
}

}  // namespace srv
