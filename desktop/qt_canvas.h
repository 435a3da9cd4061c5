// The runtime's canvas on a QPainter: what the grid's Paint and the module's owner-draw
// handler draw on in the desktop host. Colours go through rt::ColorToRGB, so system
// colours follow the palette the host mapped with MapSystemColors.
#pragma once

#include <QFont>
#include <QPainter>
#include <QPalette>

#include "platform/runtime/ui/canvas.h"

namespace desk {

// A QColor of a runtime colour (system colours through the current mapping).
QColor ToQColor(rt::TColor color);

// Maps the runtime's system colours from a Qt palette: window, window text, highlight,
// highlighted text, button face and text, tool-tip (info) background and text, and the
// active caption text (the highlighted text of the palette, as captions are drawn on
// the highlight colour).
void MapSystemColors(const QPalette& palette);

class TQtCanvas : public rt::TCanvas {
 public:
  // `base_font` is the widget's font: the runtime font's Bold is applied on top of it.
  TQtCanvas(QPainter& painter, const QFont& base_font);

  void FillRect(const rt::TRect& rect) override;
  void TextOut(int x, int y, const std::string& text) override;
  int TextWidth(const std::string& text) override;
  int TextHeight(const std::string& text) override;
  void TextRect(const rt::TRect& rect, int x, int y, const std::string& text) override;
  void DrawFocusRect(const rt::TRect& rect) override;

 private:
  // Sets the painter's font and pen from Font.
  void ApplyFont();
  QFont FontNow() const;

  QPainter& painter_;
  QFont base_font_;
};

}  // namespace desk
