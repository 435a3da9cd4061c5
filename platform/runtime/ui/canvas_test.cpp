// Colours (system colours by their numbers, the headless palette, names) and the
// recording canvas the owner-draw tests paint on.
#include <string>

#include <gtest/gtest.h>

#include "platform/runtime/ui/canvas.h"
#include "platform/runtime/ui/testing/recording_canvas.h"

namespace rt {
namespace {

struct ColorCase {
  const char* name;
  TColor color;
  int system_index;  // -1: an RGB colour
  int r, g, b;       // headless RGB value
};

class ColorTest : public ::testing::TestWithParam<ColorCase> {};

TEST_P(ColorTest, MapsToTheClassicPaletteAndReadsBackByName) {
  const auto& c = GetParam();
  EXPECT_EQ(SystemColorIndex(c.color), c.system_index);
  TColor rgb = ColorToRGB(c.color);
  EXPECT_EQ((std::tuple{RedOf(rgb), GreenOf(rgb), BlueOf(rgb)}), (std::tuple{c.r, c.g, c.b}));
  EXPECT_EQ(ColorToString(c.color), c.name);
  EXPECT_EQ(StringToColor(c.name), c.color);
}

INSTANTIATE_TEST_SUITE_P(Colors, ColorTest,
                         ::testing::Values(ColorCase{"clInfoBk", clInfoBk, 24, 255, 255, 225},
                                           ColorCase{"clHighlight", clHighlight, 13, 10, 36, 106},
                                           ColorCase{"clCaptionText", clCaptionText, 9, 255, 255, 255},
                                           ColorCase{"clHighlightText", clHighlightText, 14, 255, 255, 255},
                                           ColorCase{"clWindow", clWindow, 5, 255, 255, 255},
                                           ColorCase{"clWindowText", clWindowText, 8, 0, 0, 0},
                                           ColorCase{"clBtnFace", clBtnFace, 15, 212, 208, 200},
                                           ColorCase{"clGreen", clGreen, -1, 0, 128, 0},
                                           ColorCase{"clTeal", clTeal, -1, 0, 128, 128},
                                           ColorCase{"clBlack", clBlack, -1, 0, 0, 0},
                                           ColorCase{"clWhite", clWhite, -1, 255, 255, 255}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Colors, AHostPaletteReplacesTheClassicOne) {
  SetSystemColor(13, RGBColor(48, 140, 198));
  EXPECT_EQ(ColorToRGB(clHighlight), RGBColor(48, 140, 198));
  ResetSystemColors();
  EXPECT_EQ(ColorToRGB(clHighlight), RGBColor(10, 36, 106));
}

TEST(Colors, UnnamedColoursUseTheHexForm) {
  EXPECT_EQ(ColorToString(RGBColor(1, 2, 3)), "$00030201");
  EXPECT_EQ(StringToColor("$00030201"), RGBColor(1, 2, 3));
  EXPECT_EQ(StringToColor("clPink"), std::nullopt);
  EXPECT_EQ(StringToColor("$zz"), std::nullopt);
}

TEST(RecordingCanvas, RecordsEachOperationWithTheStateItUsed) {
  testing::TRecordingCanvas canvas;
  TRect cell = Rect(0, 0, 44, 18);
  canvas.Brush.Color = clHighlight;
  canvas.FillRect(cell);
  canvas.Font.Color = clHighlightText;
  canvas.Font.Bold = true;
  canvas.TextOut(2, 2, "12");
  canvas.Brush.Color = clTeal;
  canvas.Font.Bold = false;
  canvas.TextRect(cell, 2, 2, "Descrição longa");  // 6 characters fit in 42 px
  canvas.DrawFocusRect(cell);
  EXPECT_EQ(canvas.Log(),
            "FillRect(0,0,44,18) brush=clHighlight\n"
            "TextOut(2,2,\"12\") font=clHighlightText bold\n"
            "TextRect(0,0,44,18; 2,2,\"Descri\") brush=clTeal font=clHighlightText\n"
            "DrawFocusRect(0,0,44,18)\n");
  EXPECT_EQ(canvas.TextWidth("Ação"), 28);
}

TEST(RecordingCanvas, ClipsWholeCharactersOnBothSides) {
  testing::TRecordingCanvas canvas;
  canvas.TextRect(Rect(10, 0, 24, 18), 3, 2, "abcdef");  // a starts left of the edge, d would end past it
  EXPECT_EQ(canvas.Lines().back(), "TextRect(10,0,24,18; 3,2,\"bc\") brush=clWindow font=clWindowText");
}

}  // namespace
}  // namespace rt
