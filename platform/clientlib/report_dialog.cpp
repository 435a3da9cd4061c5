#include "platform/clientlib/report_dialog.h"

#include <algorithm>
#include <stdexcept>

#include "platform/clientlib/session.h"

namespace clib {

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
  last_run_ = run;
  if (auto provider = ReportDataProvider()) provider->RunReport(run);
  return run;
}

}  // namespace clib
