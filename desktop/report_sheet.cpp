#include "desktop/report_sheet.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QVBoxLayout>

namespace desk {

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

TReportSheet::TReportSheet(const clib::TReportRun& run, QWidget* parent)
    : QDialog(parent), params_(new QTableWidget(this)), query_(new QPlainTextEdit(this)) {
  setWindowTitle(QString::fromUtf8("Relatório: ") + Q(run.report));
  auto* note = new QLabel(QString::fromUtf8("Parâmetros com que o relatório foi executado e a consulta resultante."),
                          this);
  note->setWordWrap(true);
  params_->setObjectName("params");
  params_->setColumnCount(2);
  params_->setHorizontalHeaderLabels({QString::fromUtf8("Parâmetro"), QString::fromUtf8("Valor")});
  params_->setRowCount(static_cast<int>(run.params.size()));
  for (int i = 0; i < static_cast<int>(run.params.size()); ++i) {
    const auto& [name, value] = run.params[static_cast<size_t>(i)];
    params_->setItem(i, 0, new QTableWidgetItem(Q(name)));
    params_->setItem(i, 1, new QTableWidgetItem(value ? Q(*value) : QString::fromUtf8("(nulo)")));
  }
  params_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  params_->verticalHeader()->hide();
  params_->horizontalHeader()->setStretchLastSection(true);
  query_->setObjectName("query");
  query_->setReadOnly(true);
  query_->setPlainText(Q(run.bound_query));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addWidget(params_);
  layout->addWidget(query_);
  layout->addWidget(buttons);
  resize(620, 420);
}

void TReportSheetProvider::RunReport(const clib::TReportRun& run) {
  TReportSheet sheet(run, parent_);
  if (shown_ && *shown_) (*shown_)(sheet);
  sheet.exec();
}

}  // namespace desk
