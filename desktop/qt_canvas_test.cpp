// The runtime's canvas on a QPainter: system colours follow the palette, and a grid
// painted through an owner-draw handler reaches the pixels (a generated-account row in
// green, the selected cell in the highlight colours, titles and clipping).
#include "desktop/qt_canvas.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include "desktop/grid_view.h"
#include "desktop/qt_test_support.h"
#include "platform/runtime/ui/dbgrid.h"
#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace desk {
namespace {

const auto* const qt_env = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

QColor Pixel(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

// Colours found inside a rectangle of the image.
bool HasColor(const QImage& image, const rt::TRect& r, const QColor& color) {
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (Pixel(image, x, y) == color) return true;
  return false;
}

TEST(SystemColors, FollowThePaletteOfTheHost) {
  QPalette palette;
  palette.setColor(QPalette::Active, QPalette::Highlight, QColor(1, 2, 3));
  palette.setColor(QPalette::Active, QPalette::HighlightedText, QColor(4, 5, 6));
  palette.setColor(QPalette::Active, QPalette::ToolTipBase, QColor(7, 8, 9));
  palette.setColor(QPalette::Active, QPalette::Base, QColor(10, 11, 12));
  MapSystemColors(palette);
  EXPECT_EQ(ToQColor(rt::clHighlight), QColor(1, 2, 3));
  EXPECT_EQ(ToQColor(rt::clHighlightText), QColor(4, 5, 6));
  EXPECT_EQ(ToQColor(rt::clCaptionText), QColor(4, 5, 6));
  EXPECT_EQ(ToQColor(rt::clInfoBk), QColor(7, 8, 9));
  EXPECT_EQ(ToQColor(rt::clWindow), QColor(10, 11, 12));
  EXPECT_EQ(ToQColor(rt::clTeal), QColor(0, 128, 128));  // RGB colours are themselves
  rt::ResetSystemColors();
}

TEST(QtCanvas, FillTextClipAndFocusFrame) {
  QImage image(60, 30, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    TQtCanvas canvas(painter, QApplication::font());
    canvas.Brush.Color = rt::clNavy;
    canvas.FillRect(rt::Rect(0, 0, 10, 10));
    canvas.Brush.Color = rt::clYellow;
    canvas.Font.Color = rt::clRed;
    canvas.TextRect(rt::Rect(20, 0, 40, 20), 22, 2, "WWWWWWWWWW");  // much wider than 20 px
    canvas.Font.Color = rt::clBlack;
    canvas.DrawFocusRect(rt::Rect(0, 20, 10, 30));
  }
  EXPECT_EQ(Pixel(image, 0, 0), QColor(0, 0, 128));
  EXPECT_EQ(Pixel(image, 9, 9), QColor(0, 0, 128));
  EXPECT_EQ(Pixel(image, 10, 10), QColor(Qt::white));  // right and bottom are exclusive
  EXPECT_EQ(Pixel(image, 20, 19), QColor(255, 255, 0));
  EXPECT_TRUE(HasColor(image, rt::Rect(20, 0, 40, 20), QColor(255, 0, 0)));
  EXPECT_FALSE(HasColor(image, rt::Rect(40, 0, 60, 20), QColor(255, 0, 0))) << "text drawn past its rectangle";
  EXPECT_TRUE(HasColor(image, rt::Rect(0, 20, 10, 30), QColor(0, 0, 0)));
}

// A small grid whose drawing handler does what the allocation screen's does with
// colours: info background, green text for a row with a generated account, the
// highlight colours (caption text) for the selected cell.
class PaintedGrid : public ::testing::Test {
 protected:
  PaintedGrid() {
    grid_->Columns().Add("NOME").SetWidth(60);
    grid_->Columns().Add("GERADA").SetWidth(30);
    grid_->SetBounds(0, 0, 100, 100);
    grid_->OnDrawColumnCell = [this](rt::TObject*, const rt::TRect& rect, int, rt::TColumn& column,
                                     rt::TGridDrawState state) {
      rt::TCanvas& canvas = grid_->Canvas();
      canvas.Brush.Color = rt::clInfoBk;
      canvas.FillRect(rect);
      if (dataset_.FieldByName("GERADA").AsString() == "S") canvas.Font.Color = rt::clGreen;
      if (state.selected) {
        canvas.Brush.Color = rt::clHighlight;
        canvas.FillRect(rect);
        canvas.Font.Color = rt::clCaptionText;
      }
      canvas.TextOut(rect.Left + 2, rect.Top + 2, column.Field()->Text());
    };
  }

  QImage Paint() {
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QPainter painter(&image);
    TQtCanvas canvas(painter, QApplication::font());
    grid_->Paint(canvas);
    return image;
  }

  testing::TGridForm data_{{{"NOME", 20}, {"GERADA", 1}}, {{"MMMM", "N"}, {"MMMM", "S"}, {"MMMM", "N"}}};
  rt::TClientDataSet& dataset_ = data_.dataset;
  rt::TDBGrid* grid_ = data_.grid;
};

TEST_F(PaintedGrid, GeneratedAccountRowIsGreenAndSelectedCellHighlighted) {
  QPalette palette;
  palette.setColor(QPalette::Active, QPalette::Highlight, QColor(10, 36, 106));
  palette.setColor(QPalette::Active, QPalette::HighlightedText, QColor(255, 255, 255));
  palette.setColor(QPalette::Active, QPalette::ToolTipBase, QColor(255, 255, 225));
  MapSystemColors(palette);
  const QImage image = Paint();
  const QColor green(0, 128, 0), info(255, 255, 225), highlight(10, 36, 106), white(255, 255, 255);

  const rt::TRect selected = grid_->CellRect(0, 0);  // first row, first column
  EXPECT_EQ(Pixel(image, selected.Left + 1, selected.Bottom - 2), highlight);
  EXPECT_TRUE(HasColor(image, selected, white)) << "selected text in the caption text colour";

  const rt::TRect generated = grid_->CellRect(1, 0);
  EXPECT_EQ(Pixel(image, generated.Left + 1, generated.Bottom - 2), info);
  EXPECT_TRUE(HasColor(image, generated, green));
  EXPECT_TRUE(HasColor(image, grid_->CellRect(1, 1), green)) << "every column of the row";

  const rt::TRect plain = grid_->CellRect(2, 0);
  EXPECT_EQ(Pixel(image, plain.Left + 1, plain.Bottom - 2), info);
  EXPECT_FALSE(HasColor(image, plain, green));
  EXPECT_TRUE(HasColor(image, plain, QColor(0, 0, 0)));
  rt::ResetSystemColors();
}

TEST_F(PaintedGrid, TitlesUseTheButtonFaceAndTheColumnCaption) {
  grid_->Columns()[0].Title().SetCaption("Nome");
  MapSystemColors(QPalette());
  const QImage image = Paint();
  const rt::TRect title = grid_->CellRect(-1, 0);
  EXPECT_EQ(Pixel(image, title.Right - 2, title.Top + 1), ToQColor(rt::clBtnFace));
  EXPECT_TRUE(HasColor(image, title, ToQColor(rt::clWindowText)));
  rt::ResetSystemColors();
}

TEST_F(PaintedGrid, RowBarAppearsWhenRowsDoNotFitAndMovesTheCurrentRow) {
  TGridView view(*grid_);
  view.resize(100, 100);
  view.Sync();
  EXPECT_FALSE(view.RowBar()->isVisibleTo(&view)) << "three rows fit in 100 px";
  grid_->SetBounds(0, 0, 100, 2 * grid_->DefaultRowHeight() + 2);  // the title and one row
  view.Sync();
  ASSERT_TRUE(view.RowBar()->isVisibleTo(&view));
  EXPECT_EQ(view.RowBar()->maximum(), 3);
  EXPECT_EQ(view.RowBar()->value(), 1);
  view.RowBar()->setValue(3);
  EXPECT_EQ(dataset_.RecNo(), 3);
  EXPECT_EQ(dataset_.RecordCount(), 3) << "no row appended";
}

TEST_F(PaintedGrid, FailingDrawingHandlerIsShownOnceNotAtEveryRepaint) {
  rt::testing::TScriptedServices services;
  grid_->OnDrawColumnCell = [](rt::TObject*, const rt::TRect&, int, rt::TColumn&, rt::TGridDrawState) {
    throw std::runtime_error("cannot draw");
  };
  TGridView view(*grid_);
  view.resize(100, 100);
  view.grab();
  view.grab();
  QCoreApplication::processEvents();
  EXPECT_EQ(services.Log(), "Error: cannot draw");
  view.Sync();  // the user did something: a new failure is shown again
  view.grab();
  QCoreApplication::processEvents();
  EXPECT_EQ(services.Log(), "Error: cannot draw | Error: cannot draw");
}

}  // namespace
}  // namespace desk
