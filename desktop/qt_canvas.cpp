#include "desktop/qt_canvas.h"

#include <QFontMetrics>

#include "desktop/qt_text.h"

namespace desk {

namespace {

QRect ToQRect(const rt::TRect& r) {
  // The runtime's rectangles have exclusive right and bottom edges, as QRect's width does.
  return QRect(r.Left, r.Top, r.Width(), r.Height());
}

}  // namespace

QColor ToQColor(rt::TColor color) {
  const rt::TColor rgb = rt::ColorToRGB(color);
  return QColor(rt::RedOf(rgb), rt::GreenOf(rgb), rt::BlueOf(rgb));
}

void MapSystemColors(const QPalette& palette) {
  auto set = [](rt::TColor system, const QColor& c) {
    rt::SetSystemColor(rt::SystemColorIndex(system), rt::RGBColor(c.red(), c.green(), c.blue()));
  };
  const auto group = QPalette::Active;
  set(rt::clWindow, palette.color(group, QPalette::Base));
  set(rt::clWindowText, palette.color(group, QPalette::Text));
  set(rt::clHighlight, palette.color(group, QPalette::Highlight));
  set(rt::clHighlightText, palette.color(group, QPalette::HighlightedText));
  set(rt::clCaptionText, palette.color(group, QPalette::HighlightedText));
  set(rt::clBtnFace, palette.color(group, QPalette::Button));
  set(rt::clBtnText, palette.color(group, QPalette::ButtonText));
  set(rt::clInfoBk, palette.color(group, QPalette::ToolTipBase));
  set(rt::clInfoText, palette.color(group, QPalette::ToolTipText));
  set(rt::clGrayText, palette.color(QPalette::Disabled, QPalette::Text));
}

TQtCanvas::TQtCanvas(QPainter& painter, const QFont& base_font) : painter_(painter), base_font_(base_font) {}

QFont TQtCanvas::FontNow() const {
  QFont font = base_font_;
  font.setBold(Font.Bold);
  return font;
}

void TQtCanvas::ApplyFont() {
  painter_.setFont(FontNow());
  painter_.setPen(ToQColor(Font.Color));
}

void TQtCanvas::FillRect(const rt::TRect& rect) { painter_.fillRect(ToQRect(rect), ToQColor(Brush.Color)); }

void TQtCanvas::TextOut(int x, int y, const std::string& text) {
  ApplyFont();
  const QString s = Q(text);
  QFontMetrics metrics(FontNow());
  // The text's cell is filled with the brush, as the framework's opaque TextOut does.
  painter_.fillRect(QRect(x, y, metrics.horizontalAdvance(s), metrics.height()), ToQColor(Brush.Color));
  painter_.drawText(x, y + metrics.ascent(), s);
}

int TQtCanvas::TextWidth(const std::string& text) { return QFontMetrics(FontNow()).horizontalAdvance(Q(text)); }

int TQtCanvas::TextHeight(const std::string&) { return QFontMetrics(FontNow()).height(); }

void TQtCanvas::TextRect(const rt::TRect& rect, int x, int y, const std::string& text) {
  const QRect clip = ToQRect(rect);
  painter_.fillRect(clip, ToQColor(Brush.Color));
  ApplyFont();
  painter_.save();
  painter_.setClipRect(clip, Qt::IntersectClip);
  painter_.drawText(x, y + QFontMetrics(FontNow()).ascent(), Q(text));
  painter_.restore();
}

void TQtCanvas::DrawFocusRect(const rt::TRect& rect) {
  painter_.save();
  QPen pen(ToQColor(Font.Color));
  pen.setStyle(Qt::DotLine);
  painter_.setPen(pen);
  painter_.setBrush(Qt::NoBrush);
  painter_.drawRect(QRect(rect.Left, rect.Top, rect.Width() - 1, rect.Height() - 1));
  painter_.restore();
}

}  // namespace desk
