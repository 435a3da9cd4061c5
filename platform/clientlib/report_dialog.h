// TReportDesignerDialog: the report dialog of the report-parameter screens. It lists the
// reports of its report code and runs one: the query's declared parameters go to
// BeforeGetQueryParams for the screen to fill, then the bound query goes to the
// installed data provider. The last run stays readable.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/clientlib/report_engine.h"
#include "platform/runtime/ui/component.h"

namespace clib {

class TReportDesignerDialog : public rt::TComponent {
 public:
  using TBeforeGetQueryParamsEvent = void(rt::TObject* Sender, TReportParams& Params);

  explicit TReportDesignerDialog(rt::TComponent* owner = nullptr) : rt::TComponent(owner) {}
  std::string ClassName() const override { return "TReportDesignerDialog"; }

  const std::string& ReportCode() const { return report_code_; }
  void SetReportCode(const std::string& code) { report_code_ = code; }
  // Names of the reports registered under the report code, in registration order.
  std::vector<std::string> ReportNames() const;

  // Runs the named report; throws std::invalid_argument when there is no such report.
  // Exceptions of BeforeGetQueryParams (an abort included) stop the run.
  TReportRun Execute(const std::string& report_name);
  const std::optional<TReportRun>& LastRun() const { return last_run_; }

  std::function<TBeforeGetQueryParamsEvent> BeforeGetQueryParams;

 private:
  std::string report_code_;
  std::optional<TReportRun> last_run_;
};

}  // namespace clib
