#include "platform/clientlib/report_dialog.h"

#include <stdexcept>

namespace clib {

std::vector<std::string> TReportDesignerDialog::ReportNames() const {
  std::vector<std::string> names;
  for (const auto& r : ReportsFor(report_code_)) names.push_back(r.name);
  return names;
}

TReportRun TReportDesignerDialog::Execute(const std::string& report_name) {
  for (const auto& def : ReportsFor(report_code_)) {
    if (def.name != report_name) continue;
    TReportParams params(def.params.empty() ? DeclaredParams(def.query) : def.params);
    if (BeforeGetQueryParams) BeforeGetQueryParams(this, params);
    TReportRun run{def.name, def.query, BindParams(def.query, params), {}};
    for (int i = 0; i < params.Count(); ++i)
      run.params.emplace_back(params[i].Name(), params[i].IsNull() ? std::nullopt
                                                                   : std::optional(params[i].AsString()));
    last_run_ = run;
    if (auto provider = ReportDataProvider()) provider->RunReport(run);
    return run;
  }
  throw std::invalid_argument("Report \"" + report_name + "\" not found for " + report_code_);
}

}  // namespace clib
