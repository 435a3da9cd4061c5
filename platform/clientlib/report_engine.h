// The report engine behind the report-parameter screens. A report definition names a
// query and the parameters the query declares; running a report builds the parameter
// list from those declarations, lets the screen fill it (BeforeGetQueryParams), binds
// the values into the query and hands the bound query to the data provider the host
// installed. The last run is kept so that callers can see what the query ran with.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace clib {

class TReportParam {
 public:
  explicit TReportParam(std::string name) : name_(std::move(name)) {}
  const std::string& Name() const { return name_; }
  // Null until a value is set; an unset parameter binds as SQL NULL.
  bool IsNull() const { return !value_.has_value(); }
  std::string AsString() const { return value_.value_or(""); }
  void SetAsString(const std::string& value) { value_ = value; }
  void Clear() { value_.reset(); }

 private:
  std::string name_;
  std::optional<std::string> value_;
};

// The parameters a query declares, in declaration order.
class TReportParams {
 public:
  TReportParams() = default;
  explicit TReportParams(const std::vector<std::string>& names);
  int Count() const { return static_cast<int>(items_.size()); }
  TReportParam& operator[](int i) { return items_.at(i); }
  const TReportParam& operator[](int i) const { return items_.at(i); }
  TReportParam* FindParam(const std::string& name);  // case-insensitive, null when absent
  // Throws std::out_of_range naming the parameter when the query does not declare it.
  TReportParam& ParamByName(const std::string& name);

 private:
  std::vector<TReportParam> items_;
};

// True when the query of the list declares a parameter of that name (case-insensitive).
bool ExistParam(TReportParams& params, const std::string& name);

struct TReportDefinition {
  std::string name;     // shown in the report-name list
  std::string title;
  std::string query;    // parameters written as :NAME
  // Parameters the query declares, in order; empty: taken from the :NAME marks of the query.
  std::vector<std::string> params;
};

// Names of the :NAME marks of a query, in order of first appearance (quoted text skipped).
std::vector<std::string> DeclaredParams(const std::string& query);

// What one run of a report handed to the data provider.
struct TReportRun {
  std::string report;
  std::string query;                                    // as defined
  std::string bound_query;                              // parameters replaced by literals
  std::vector<std::pair<std::string, std::optional<std::string>>> params;  // in order
};

// Fetches and presents the rows of a bound report query (the host installs one; a
// screen without one still builds and records the run).
class IReportDataProvider {
 public:
  virtual ~IReportDataProvider() = default;
  virtual void RunReport(const TReportRun& run) = 0;
};
void SetReportDataProvider(std::shared_ptr<IReportDataProvider> provider);
std::shared_ptr<IReportDataProvider> ReportDataProvider();

// Reports of one report code (e.g. "EVT047"), registered by the module that owns them.
void RegisterReports(const std::string& code, std::vector<TReportDefinition> reports);
void UnregisterReports(const std::string& code);
std::vector<TReportDefinition> ReportsFor(const std::string& code);

// Binds the values of params into the query: each :NAME becomes a quoted literal
// ('' doubled inside), or NULL when unset. Quoted text in the query is left alone.
std::string BindParams(const std::string& query, const TReportParams& params);

}  // namespace clib
