#include "platform/clientlib/report_dialog.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <stdexcept>

#include "platform/clientlib/session.h"

namespace clib {
namespace {

// The client's local time, to the second.
rt::DateTime LocalNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

}  // namespace

void TReportDesignerDialog::SetReportCode(const std::string& code) {
  report_code_ = code;
  reports_.reset();
}

void TReportDesignerDialog::SetConnection(IAppServer* connection) {
  connection_ = connection;
  reports_.reset();
}

IAppServer& TReportDesignerDialog::RequireConnection() const {
  if (!connection_) throw std::logic_error(Name() + ": no application-server connection for the reports");
  return *connection_;
}

const std::vector<TReportInfo>& TReportDesignerDialog::Reports() {
  if (!reports_) reports_ = ListReports(RequireConnection(), FiliProc(), report_code_);
  return *reports_;
}

std::vector<std::string> TReportDesignerDialog::ReportNames() {
  std::vector<std::string> names;
  for (const auto& r : Reports()) names.push_back(r.name);
  return names;
}

TReportRun TReportDesignerDialog::Execute(const std::string& report_name) {
  const auto& reports = Reports();
  const auto found = std::find_if(reports.begin(), reports.end(), [&](const auto& r) { return r.name == report_name; });
  if (found == reports.end())
    throw std::invalid_argument("Report \"" + report_name + "\" not found for " + report_code_);
  // A copy: the screen's handler may change the code, and with it the list found in.
  const TReportInfo report = *found;  // NOLINT(performance-unnecessary-copy-initialization)
  TReportParams params(report.params);
  if (BeforeGetQueryParams) BeforeGetQueryParams(this, params);
  TReportRun run = FetchReport(RequireConnection(), FiliProc(), report_code_, report.name, params);
  run.made_at = LocalNow();
  run.made_by = Operador();
  last_run_ = run;
  if (auto provider = ReportDataProvider()) provider->RunReport(run);
  return run;
}

}  // namespace clib
