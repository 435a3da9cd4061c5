#include "platform/clientlib/report_engine.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace clib {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::toupper(x) == std::toupper(y);
         });
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Walks the query, calling on_text for plain text and on_param for each :NAME mark.
template <typename Text, typename Param>
void ScanQuery(const std::string& query, Text on_text, Param on_param) {
  std::size_t i = 0;
  while (i < query.size()) {
    char c = query[i];
    if (c == '\'') {  // a quoted literal runs to the next lone quote
      std::size_t j = i + 1;
      while (j < query.size()) {
        if (query[j] == '\'' && (j + 1 >= query.size() || query[j + 1] != '\'')) break;
        j += query[j] == '\'' ? 2 : 1;
      }
      j = std::min(j + 1, query.size());
      on_text(query.substr(i, j - i));
      i = j;
    } else if (c == ':' && i + 1 < query.size() && IsNameChar(query[i + 1]) &&
               (i == 0 || query[i - 1] != ':')) {
      std::size_t j = i + 1;
      while (j < query.size() && IsNameChar(query[j])) ++j;
      on_param(query.substr(i + 1, j - i - 1));
      i = j;
    } else {
      on_text(std::string(1, c));
      ++i;
    }
  }
}

struct Registry {
  std::map<std::string, std::vector<TReportDefinition>> reports;
  std::shared_ptr<IReportDataProvider> provider;
};
Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

TReportParams::TReportParams(const std::vector<std::string>& names) {
  for (const auto& n : names)
    if (!FindParam(n)) items_.emplace_back(n);
}

TReportParam* TReportParams::FindParam(const std::string& name) {
  for (auto& p : items_)
    if (SameName(p.Name(), name)) return &p;
  return nullptr;
}

TReportParam& TReportParams::ParamByName(const std::string& name) {
  if (TReportParam* p = FindParam(name)) return *p;
  throw std::out_of_range("Parameter '" + name + "' not found");
}

bool ExistParam(TReportParams& params, const std::string& name) {
  return params.FindParam(name) != nullptr;
}

std::vector<std::string> DeclaredParams(const std::string& query) {
  std::vector<std::string> names;
  ScanQuery(
      query, [](const std::string&) {},
      [&](const std::string& name) {
        if (std::none_of(names.begin(), names.end(),
                         [&](const std::string& n) { return SameName(n, name); }))
          names.push_back(name);
      });
  return names;
}

std::string BindParams(const std::string& query, const TReportParams& params) {
  std::string out;
  ScanQuery(
      query, [&](const std::string& text) { out += text; },
      [&](const std::string& name) {
        const TReportParam* p = const_cast<TReportParams&>(params).FindParam(name);
        if (!p || p->IsNull()) {
          out += "NULL";
          return;
        }
        out += '\'';
        for (char c : p->AsString()) {
          if (c == '\'') out += '\'';
          out += c;
        }
        out += '\'';
      });
  return out;
}

void SetReportDataProvider(std::shared_ptr<IReportDataProvider> provider) {
  TheRegistry().provider = std::move(provider);
}
std::shared_ptr<IReportDataProvider> ReportDataProvider() { return TheRegistry().provider; }

void RegisterReports(const std::string& code, std::vector<TReportDefinition> reports) {
  TheRegistry().reports[code] = std::move(reports);
}
void UnregisterReports(const std::string& code) { TheRegistry().reports.erase(code); }
std::vector<TReportDefinition> ReportsFor(const std::string& code) {
  auto it = TheRegistry().reports.find(code);
  return it == TheRegistry().reports.end() ? std::vector<TReportDefinition>{} : it->second;
}

}  // namespace clib
