// The report engine behind the report-parameter screens. Report definitions live on the
// application server: it lists the reports of a report code with the parameters each
// declares, and runs one by name with parameter values, which it binds as statement
// parameters. The client never holds or sends SQL: a run sends names and values and
// brings back the title, the layout (bands, as JSON text) and the rows, which the host's
// data provider presents (preview, print, PDF, CSV).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clientlib/app_server.h"
#include "platform/runtime/packet.h"

namespace clib {

class TReportParam {
 public:
  explicit TReportParam(std::string name) : name_(std::move(name)) {}
  const std::string& Name() const { return name_; }
  // Null until a value is set; an unset parameter runs as SQL NULL.
  bool IsNull() const { return !value_.has_value(); }
  std::string AsString() const { return value_.value_or(""); }
  void SetAsString(const std::string& value) { value_ = value; }
  void Clear() { value_.reset(); }

 private:
  std::string name_;
  std::optional<std::string> value_;
};

// The parameters a report declares, in declaration order.
class TReportParams {
 public:
  TReportParams() = default;
  explicit TReportParams(const std::vector<std::string>& names);
  int Count() const { return static_cast<int>(items_.size()); }
  TReportParam& operator[](int i) { return items_.at(i); }
  const TReportParam& operator[](int i) const { return items_.at(i); }
  TReportParam* FindParam(const std::string& name);  // case-insensitive, null when absent
  // Throws std::out_of_range naming the parameter when the report does not declare it.
  TReportParam& ParamByName(const std::string& name);

 private:
  std::vector<TReportParam> items_;
};

// True when the report of the list declares a parameter of that name (case-insensitive).
bool ExistParam(TReportParams& params, const std::string& name);

// A report of a report code, as the server lists it.
struct TReportInfo {
  std::string name;  // shown in the report-name list
  std::string title;
  std::vector<std::string> params;  // declared parameters, in order
};

// One run of a report: what it ran with and what the server answered.
struct TReportRun {
  std::string report;
  std::string title;
  std::vector<std::pair<std::string, std::optional<std::string>>> params;  // in declaration order
  std::string layout;  // the report's bands as JSON text (report_document.h reads it)
  rt::DataPacket rows;
  // When and by whom it was run, printed with the report (none: not printed).
  std::optional<rt::DateTime> made_at;
  std::string made_by;
};

// Presents the run of a report (the host installs one: preview, print, PDF, CSV; a
// screen without one still runs the report and keeps the run).
class IReportDataProvider {
 public:
  virtual ~IReportDataProvider() = default;
  virtual void RunReport(const TReportRun& run) = 0;
};
void SetReportDataProvider(std::shared_ptr<IReportDataProvider> provider);
std::shared_ptr<IReportDataProvider> ReportDataProvider();

// The server's calls. A refusal or a transport failure raises EServerError with the
// server's text; an answer of another shape raises EServerError saying so.
// GetRelatorios(branch, code) -> [[name, title, [param, ...]], ...]
std::vector<TReportInfo> ListReports(IAppServer& server, const std::string& branch, const std::string& code);
// GetDadosRelatorio(branch, code, name, [[param, value or null], ...]) -> [title, layout, rows]
TReportRun FetchReport(IAppServer& server, const std::string& branch, const std::string& code, const std::string& name,
                       const TReportParams& params);

}  // namespace clib
