// The host's report data provider: the report engine hands it each run of a report (the
// report, its parameter values as the query ran with them, the bound query). The
// application server offers no method that returns a report's rows, so the host shows
// the run itself — report, parameters, bound query — in a modal sheet the user can
// read and copy; it says so in its text instead of pretending to show rows.
#pragma once

#include <QDialog>
#include <functional>

#include "platform/clientlib/report_engine.h"

class QTableWidget;
class QPlainTextEdit;

namespace desk {

class TReportSheet : public QDialog {
  Q_OBJECT
 public:
  explicit TReportSheet(const clib::TReportRun& run, QWidget* parent = nullptr);
  QTableWidget* Params() const { return params_; }
  QPlainTextEdit* Query() const { return query_; }

 private:
  QTableWidget* params_;
  QPlainTextEdit* query_;
};

class TReportSheetProvider : public clib::IReportDataProvider {
 public:
  // `shown` runs before each sheet is executed (tests answer it there).
  TReportSheetProvider(QWidget* parent, std::function<void(QDialog&)>* shown) : parent_(parent), shown_(shown) {}
  void RunReport(const clib::TReportRun& run) override;

 private:
  QWidget* parent_;
  std::function<void(QDialog&)>* shown_;
};

}  // namespace desk
