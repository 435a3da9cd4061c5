// TReportDesignerDialog: the report dialog of the report-parameter screens. It lists the
// reports of its report code as the application server keeps them and runs one: the
// report's declared parameters go to BeforeGetQueryParams for the screen to fill, the
// server runs the report with those values, and the run (rows and layout) goes to the
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
  void SetReportCode(const std::string& code);
  // The server connection the reports are asked of (layout property "Connection": the
  // name of a TNetConnection component of the form).
  IAppServer* Connection() const { return connection_; }
  void SetConnection(IAppServer* connection);

  // The reports of the report code, asked of the server on first use (again after the
  // code or the connection changed, or after a failed asking). Raises EServerError
  // with the server's text when the server refuses or cannot be reached.
  const std::vector<TReportInfo>& Reports();
  std::vector<std::string> ReportNames();

  // Runs the named report for the session's branch; throws std::invalid_argument when
  // the code has no such report. Exceptions of BeforeGetQueryParams (an abort included)
  // and the server's refusals stop the run; nothing reaches the data provider then.
  TReportRun Execute(const std::string& report_name);
  const std::optional<TReportRun>& LastRun() const { return last_run_; }

  std::function<TBeforeGetQueryParamsEvent> BeforeGetQueryParams;

 private:
  IAppServer& RequireConnection() const;

  std::string report_code_;
  IAppServer* connection_ = nullptr;
  std::optional<std::vector<TReportInfo>> reports_;
  std::optional<TReportRun> last_run_;
};

}  // namespace clib
