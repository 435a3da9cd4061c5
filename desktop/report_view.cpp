#include "desktop/report_view.h"

#include <algorithm>

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QRegularExpression>
#include <QToolBar>

#include "desktop/host_texts.h"
#include "desktop/qt_text.h"
#include "platform/runtime/locale_format.h"

namespace desk {
namespace {

constexpr double kMarginMm = 15;
// Room kept on each side of a cell's text, and more after a right-aligned amount, so
// that it stays apart from the text of the column after it.
constexpr double kCellInset = 0.5;     // mm
constexpr double kAmountInset = 1.5;  // mm

// What one page holds: a document line, the first page's header, the empty text, or
// column titles repeated from an earlier line.
enum class BlockKind { Header, Empty, Line, RepeatedTitles };
struct Block {
  BlockKind kind;
  int line = -1;
  double y = 0, height = 0;
};

class ReportPainter {
 public:
  ReportPainter(const clib::TReportDocument& doc, QPagedPaintDevice& device)
      : doc_(doc), device_(device), mm_(device.logicalDpiY() / 25.4) {
    const QRectF paint = device.pageLayout().paintRectPixels(device.logicalDpiX());
    width_ = paint.width();
    height_ = paint.height();
    title_font_ = Font(11, true);
    text_font_ = Font(8, false);
    bold_font_ = Font(8, true);
    italic_font_ = Font(8, false);
    italic_font_.setItalic(true);
    total_weight_ = 0;
    for (const auto& c : doc.columns) total_weight_ += std::max(1, c.width);
  }

  int Paint() {
    const std::vector<std::vector<Block>> pages = Paginate();
    QPainter p;
    if (!p.begin(&device_)) return 0;  // a file that cannot be written, for one
    for (std::size_t n = 0; n < pages.size(); ++n) {
      if (n > 0) device_.newPage();
      PaintPageHeader(p, static_cast<int>(n + 1), static_cast<int>(pages.size()));
      for (const Block& b : pages[n]) PaintBlock(p, b);
    }
    p.end();
    return static_cast<int>(pages.size());
  }

 private:
  QFont Font(int points, bool bold) const {
    QFont f("DejaVu Sans");
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferNoShaping);  // no ligatures: the PDF's text reads back as typed
    return f;
  }
  double LineHeight(const QFont& f) const { return QFontMetricsF(f, &device_).height() + 0.8 * mm_; }
  // The band on top of every page: the title and page number, then the identification.
  double IdentificationTop() const { return LineHeight(title_font_) + 2 * mm_; }
  double PageTop() const {
    return IdentificationTop() + (doc_.header.empty() ? 0 : Wrapped(text_font_, width_, IdentificationText()) + mm_);
  }
  double Indent(int level) const { return level < 0 ? 0 : level * 3 * mm_; }
  double ColumnLeft(int column) const {
    int weight = 0;
    for (int i = 0; i < column; ++i) weight += std::max(1, doc_.columns[static_cast<std::size_t>(i)].width);
    return total_weight_ ? width_ * weight / total_weight_ : 0;
  }
  double ColumnRight(int column) const { return ColumnLeft(column + 1); }

  QString IdentificationText() const {
    QStringList parts;
    for (const auto& h : doc_.header) parts << Q(h);
    return parts.join("     ");
  }

  // The first page's account of the run: what was asked, when and by whom, the notes.
  QString HeaderText() const {
    QStringList parts;
    for (const auto& p : doc_.parameters) parts << Q(p);
    QString text = parts.join("     ");
    if (!doc_.issued.empty()) text += (text.isEmpty() ? "" : "\n") + Q(doc_.issued);
    for (const auto& n : doc_.notes) text += (text.isEmpty() ? "" : "\n") + Q(n);
    return text;
  }

  double Wrapped(const QFont& f, double width, const QString& text) const {
    return QFontMetricsF(f, &device_).boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, text).height() +
           1.5 * mm_;
  }

  double Height(const Block& b) const {
    switch (b.kind) {
      case BlockKind::Header:
        return HeaderText().isEmpty() ? 0 : Wrapped(text_font_, width_, HeaderText()) + 2 * mm_;
      case BlockKind::Empty:
        return Wrapped(italic_font_, width_, Q(doc_.empty_text));
      case BlockKind::RepeatedTitles:
        return LineHeight(bold_font_);
      case BlockKind::Line:
        break;
    }
    const clib::TReportLine& line = doc_.lines[static_cast<std::size_t>(b.line)];
    switch (line.kind) {
      case clib::TReportLineKind::Group:
        return Wrapped(bold_font_, width_ - Indent(line.level), Q(line.text)) + (line.level == 0 ? 2 * mm_ : 0.5 * mm_);
      case clib::TReportLineKind::Total:
        return LineHeight(bold_font_) + (line.level < 0 ? 2 * mm_ : 0.5 * mm_);
      default:
        return LineHeight(text_font_);
    }
  }

  bool KeepsWithNext(const Block& b) const {
    if (b.kind != BlockKind::Line) return b.kind == BlockKind::RepeatedTitles;
    const auto kind = doc_.lines[static_cast<std::size_t>(b.line)].kind;
    return kind == clib::TReportLineKind::Group || kind == clib::TReportLineKind::ColumnTitles;
  }

  // The height of the block at `first` with every block it keeps with, up to and
  // including the first one that keeps with nothing.
  double ChainHeight(const std::vector<Block>& blocks, std::size_t first) const {
    double height = 0;
    for (std::size_t i = first; i < blocks.size(); ++i) {
      height += blocks[i].height;
      if (!KeepsWithNext(blocks[i])) break;
    }
    return height;
  }

  std::vector<std::vector<Block>> Paginate() const {
    std::vector<Block> blocks;
    blocks.push_back({BlockKind::Header});
    if (doc_.lines.empty()) blocks.push_back({BlockKind::Empty});
    for (std::size_t i = 0; i < doc_.lines.size(); ++i) blocks.push_back({BlockKind::Line, static_cast<int>(i)});
    for (Block& b : blocks) b.height = Height(b);

    std::vector<std::vector<Block>> pages(1);
    double y = PageTop();
    int last_titles = -1;  // the column titles the rows below belong to
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      Block b = blocks[i];
      // A chain of captions and titles goes to the next page together with the first
      // line they introduce; within a chain that already fit, no break.
      const bool chained = i > 0 && KeepsWithNext(blocks[i - 1]);
      const double need = chained ? b.height : ChainHeight(blocks, i);
      if (y + need > height_ && !pages.back().empty() && !chained) {
        pages.emplace_back();
        y = PageTop();
        const bool continues_rows =
            b.kind == BlockKind::Line &&
            doc_.lines[static_cast<std::size_t>(b.line)].kind != clib::TReportLineKind::Group &&
            doc_.lines[static_cast<std::size_t>(b.line)].kind != clib::TReportLineKind::ColumnTitles;
        if (continues_rows && last_titles >= 0) {
          Block titles{BlockKind::RepeatedTitles, last_titles, y, LineHeight(bold_font_)};
          pages.back().push_back(titles);
          y += titles.height;
        }
      }
      if (b.kind == BlockKind::Line) {
        const auto kind = doc_.lines[static_cast<std::size_t>(b.line)].kind;
        if (kind == clib::TReportLineKind::ColumnTitles) last_titles = b.line;
        if (kind == clib::TReportLineKind::Group) last_titles = -1;
      }
      b.y = y;
      pages.back().push_back(b);
      y += b.height;
    }
    return pages;
  }

  void PaintPageHeader(QPainter& p, int page, int pages) {
    const QRectF band(0, 0, width_, LineHeight(title_font_));
    p.setFont(title_font_);
    p.drawText(band, Qt::AlignLeft | Qt::AlignVCenter, Q(doc_.title));
    p.setFont(text_font_);
    p.drawText(band, Qt::AlignRight | Qt::AlignVCenter, HostText(THostText::kReportPage).arg(page).arg(pages));
    p.setPen(QPen(Qt::black, 0.3 * mm_));
    p.drawLine(QPointF(0, band.bottom() + mm_), QPointF(width_, band.bottom() + mm_));
    if (doc_.header.empty()) return;
    p.setFont(bold_font_);
    p.drawText(QRectF(0, IdentificationTop(), width_, PageTop() - IdentificationTop()), Qt::TextWordWrap,
               IdentificationText());
  }

  void PaintCells(QPainter& p, double y, double height, const std::vector<std::string>& cells, const QFont& font) {
    p.setFont(font);
    const QFontMetricsF fm(font, &device_);
    const std::size_t count = std::min(cells.size(), doc_.columns.size());
    for (std::size_t c = 0; c < count; ++c) {
      // A left-aligned text may run on over the empty cells to its right (the summary's
      // "Sequências" over the hours column it leaves blank), as a spreadsheet shows it.
      std::size_t last = c;
      if (!doc_.columns[c].right)
        while (last + 1 < count && cells[last + 1].empty()) ++last;
      const double left = ColumnLeft(static_cast<int>(c)) + kCellInset * mm_;
      const double right = ColumnRight(static_cast<int>(last)) - (doc_.columns[c].right ? kAmountInset : kCellInset) * mm_;
      const QRectF cell(left, y, right - left, height);
      const QString text = fm.elidedText(Q(cells[c]), Qt::ElideRight, cell.width());
      const Qt::Alignment alignment = (doc_.columns[c].right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
      p.drawText(cell, static_cast<int>(alignment.toInt()), text);
    }
  }

  void PaintAmountLine(QPainter& p, const Block& b, const clib::TReportLine& line, const QFont& font) {
    p.setFont(font);
    const int column = doc_.total_column;
    const double amount_left = column >= 0 ? ColumnLeft(column) : width_ * 0.8;
    const double amount_right = column >= 0 ? ColumnRight(column) : width_;
    const QRectF label(Indent(line.level) + 2 * mm_, b.y, amount_left - Indent(line.level) - 3 * mm_, b.height);
    p.drawText(label, Qt::AlignRight | Qt::AlignVCenter,
               QFontMetricsF(font, &device_).elidedText(Q(line.text), Qt::ElideRight, label.width()));
    const QRectF amount(amount_left, b.y, amount_right - amount_left - 0.5 * mm_, b.height);
    if (!line.cells.empty()) p.drawText(amount, Qt::AlignRight | Qt::AlignVCenter, Q(line.cells[0]));
    if (line.kind == clib::TReportLineKind::Total) {
      p.setPen(QPen(Qt::black, 0.2 * mm_));
      p.drawLine(QPointF(amount_left + mm_, b.y + 0.3 * mm_), QPointF(amount_right - 0.5 * mm_, b.y + 0.3 * mm_));
    }
  }

  void PaintBlock(QPainter& p, const Block& b) {
    p.setPen(Qt::black);
    if (b.kind == BlockKind::Header) {
      p.setFont(text_font_);
      p.drawText(QRectF(0, b.y, width_, b.height), Qt::TextWordWrap, HeaderText());
      return;
    }
    if (b.kind == BlockKind::Empty) {
      p.setFont(italic_font_);
      p.drawText(QRectF(0, b.y, width_, b.height), Qt::TextWordWrap, Q(doc_.empty_text));
      return;
    }
    const clib::TReportLine& line = doc_.lines[static_cast<std::size_t>(b.line)];
    if (b.kind == BlockKind::RepeatedTitles || line.kind == clib::TReportLineKind::ColumnTitles) {
      p.fillRect(QRectF(0, b.y, width_, b.height), QColor(230, 230, 230));
      PaintCells(p, b.y, b.height, line.cells, bold_font_);
      return;
    }
    switch (line.kind) {
      case clib::TReportLineKind::Group: {
        const double top = b.y + (line.level == 0 ? 1.5 * mm_ : 0.5 * mm_);
        p.setFont(bold_font_);
        p.drawText(QRectF(Indent(line.level), top, width_ - Indent(line.level), b.height), Qt::TextWordWrap,
                   Q(line.text));
        break;
      }
      case clib::TReportLineKind::Detail:
        PaintCells(p, b.y, b.height, line.cells, text_font_);
        break;
      case clib::TReportLineKind::Split:
        PaintAmountLine(p, b, line, italic_font_);
        break;
      case clib::TReportLineKind::Total:
        PaintAmountLine(p, b, line, bold_font_);
        break;
      case clib::TReportLineKind::ColumnTitles:
        break;
    }
  }

  const clib::TReportDocument& doc_;
  QPagedPaintDevice& device_;
  double mm_;
  double width_ = 0, height_ = 0;
  int total_weight_ = 0;
  QFont title_font_, text_font_, bold_font_, italic_font_;
};

void A4Portrait(QPagedPaintDevice& device) {
  device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter));
}

}  // namespace

int PaintReport(const clib::TReportDocument& doc, QPagedPaintDevice& device) {
  return ReportPainter(doc, device).Paint();
}

QString WriteReportPdf(const clib::TReportDocument& doc, const QString& path) {
  QPdfWriter writer(path);
  writer.setTitle(Q(doc.title));
  writer.setCreator("alloc");
  writer.setResolution(300);
  A4Portrait(writer);
  if (PaintReport(doc, writer) == 0) return HostText(THostText::kReportCannotWrite).arg(path);
  return {};
}

QString WriteReportCsv(const clib::TReportRun& run, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return file.errorString();
  const std::string csv = clib::ReportCsv(run, rt::CurrentFormatSettings());
  if (file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()))
    return file.errorString();
  return {};
}

TReportPreview::TReportPreview(clib::TReportRun run, QWidget* parent)
    : QPrintPreviewDialog(parent),
      run_(std::move(run)),
      document_(clib::BuildReportDocument(run_, rt::CurrentFormatSettings())),
      save_pdf_(new QAction(HostText(THostText::kReportSavePdf), this)),
      save_csv_(new QAction(HostText(THostText::kReportExportCsv), this)) {
  setObjectName("reportPreview");
  setWindowTitle(Q(run_.title.empty() ? run_.report : run_.title));
  A4Portrait(*printer());
  printer()->setDocName(Q(run_.title));
  save_pdf_->setObjectName("actionSavePdf");
  save_csv_->setObjectName("actionSaveCsv");
  if (auto* bar = findChild<QToolBar*>()) {
    bar->addSeparator();
    bar->addAction(save_pdf_);
    bar->addAction(save_csv_);
  }
  connect(save_pdf_, &QAction::triggered, this, [this] { AskAndSave("pdf", "PDF (*.pdf)"); });
  connect(save_csv_, &QAction::triggered, this, [this] { AskAndSave("csv", "CSV (*.csv)"); });
  connect(this, &QPrintPreviewDialog::paintRequested, this,
          [this](QPrinter* printer) { pages_painted_ = PaintReport(document_, *printer); });
  resize(900, 700);
}

QString TReportPreview::SuggestedFileName(const QString& suffix) const {
  QString name = Q(run_.report);
  for (const auto& [param, value] : run_.params)
    if (param == "P_NRORCAEVENTO" && value && !value->empty()) name += "-" + Q(*value);
  name.replace(QRegularExpression("[^\\w\\-]+"), "_");
  return name + "." + suffix;
}

void TReportPreview::AskAndSave(const QString& suffix, const QString& filter) {
  const QString path = QFileDialog::getSaveFileName(this, windowTitle(), SuggestedFileName(suffix), filter);
  if (path.isEmpty()) return;
  const QString error = suffix == "pdf" ? WriteReportPdf(document_, path) : WriteReportCsv(run_, path);
  if (!error.isEmpty()) QMessageBox::warning(this, HostText(THostText::kTitleError), error);
}

void TReportPreviewProvider::RunReport(const clib::TReportRun& run) {
  TReportPreview preview(run, parent_);
  if (shown_ && *shown_) (*shown_)(preview);
  preview.exec();
}

}  // namespace desk
