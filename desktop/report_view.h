// The host's presentation of report runs: the report engine hands each run (rows and
// layout from the server) to the provider installed here, which lays it out
// (clib::BuildReportDocument) and shows Qt's print preview; from there the clerk prints,
// saves a PDF or exports CSV. The same painting writes the PDF of the command-line
// program alloc-report, without a display.
#pragma once

#include <QPrintPreviewDialog>
#include <QString>
#include <functional>

#include "platform/clientlib/report_document.h"
#include "platform/clientlib/report_engine.h"

class QAction;
class QPagedPaintDevice;

namespace desk {

// Paints the document on a paged device (printer or PDF writer) within its paint
// rectangle: on every page the title, "Página n de m" and the header fields (the
// budget's identification, so that a loose page names its budget); on the first what
// the run was asked for, when and by whom, and the notes (or the empty text); then the
// lines. Captions and column titles stay on the page of the first line they introduce,
// and column titles repeat on a page that continues a group's rows.
// Returns the number of pages; 0 when the device could not be painted on.
int PaintReport(const clib::TReportDocument& doc, QPagedPaintDevice& device);

// Writes the document as a PDF file (A4 portrait, 15 mm margins, the run's title as the
// document title). Returns "" or why it failed.
QString WriteReportPdf(const clib::TReportDocument& doc, const QString& path);
// Writes the run's CSV (clib::ReportCsv with the user's separators). Returns "" or why
// it failed.
QString WriteReportCsv(const clib::TReportRun& run, const QString& path);

// Qt's print preview of one run, with two more tool-bar actions: "Salvar PDF…" and
// "Exportar CSV…" (each asks for a file name). Printing is the preview's own.
class TReportPreview : public QPrintPreviewDialog {
  Q_OBJECT
 public:
  TReportPreview(clib::TReportRun run, QWidget* parent = nullptr);
  const clib::TReportRun& Run() const { return run_; }
  const clib::TReportDocument& Document() const { return document_; }
  QAction* SavePdfAction() const { return save_pdf_; }
  QAction* SaveCsvAction() const { return save_csv_; }
  // Pages painted by the last preview paint (0 before the first).
  int PagesPainted() const { return pages_painted_; }
  // A file name proposed for saving: the title and the budget ("…-0000000012.pdf").
  QString SuggestedFileName(const QString& suffix) const;

 private:
  void AskAndSave(const QString& suffix, const QString& filter);

  clib::TReportRun run_;
  clib::TReportDocument document_;
  QAction* save_pdf_;
  QAction* save_csv_;
  int pages_painted_ = 0;
};

class TReportPreviewProvider : public clib::IReportDataProvider {
 public:
  // `shown` runs before each preview is executed (tests answer it there).
  TReportPreviewProvider(QWidget* parent, std::function<void(QDialog&)>* shown) : parent_(parent), shown_(shown) {}
  void RunReport(const clib::TReportRun& run) override;

 private:
  QWidget* parent_;
  std::function<void(QDialog&)>* shown_;
};

}  // namespace desk
