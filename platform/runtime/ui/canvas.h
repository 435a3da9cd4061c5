// Colours, fonts and the canvas that owner-drawn controls paint on.
//
// A TColor is either an RGB value laid out as 0x00BBGGRR (the host framework's layout),
// or a system colour: 0xFF000000 | index, the index being the host system's colour
// number (clHighlight is 13, clInfoBk 24). Headless, system colours map to the classic
// default palette; a host replaces the mapping with its own palette (SetSystemColor).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rt {

using TColor = std::int32_t;

constexpr TColor RGBColor(int r, int g, int b) { return static_cast<TColor>(r | (g << 8) | (b << 16)); }
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0xFF000000u | static_cast<std::uint32_t>(index)); }

// System colours (by the host system's numbers).
constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clActiveCaption = SystemColor(2);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clCaptionText = SystemColor(9);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);

// Named colours.
constexpr TColor clBlack = RGBColor(0, 0, 0);
constexpr TColor clMaroon = RGBColor(128, 0, 0);
constexpr TColor clGreen = RGBColor(0, 128, 0);
constexpr TColor clOlive = RGBColor(128, 128, 0);
constexpr TColor clNavy = RGBColor(0, 0, 128);
constexpr TColor clPurple = RGBColor(128, 0, 128);
constexpr TColor clTeal = RGBColor(0, 128, 128);
constexpr TColor clGray = RGBColor(128, 128, 128);
constexpr TColor clSilver = RGBColor(192, 192, 192);
constexpr TColor clRed = RGBColor(255, 0, 0);
constexpr TColor clLime = RGBColor(0, 255, 0);
constexpr TColor clYellow = RGBColor(255, 255, 0);
constexpr TColor clBlue = RGBColor(0, 0, 255);
constexpr TColor clFuchsia = RGBColor(255, 0, 255);
constexpr TColor clAqua = RGBColor(0, 255, 255);
constexpr TColor clWhite = RGBColor(255, 255, 255);

bool IsSystemColor(TColor color);
// The system colour's index; -1 for an RGB colour.
int SystemColorIndex(TColor color);
// The RGB value of a colour: itself, or the system colour through the current palette.
TColor ColorToRGB(TColor color);
// Lets a host map a system colour to its own palette's RGB value.
void SetSystemColor(int index, TColor rgb);
// Puts back the classic default palette.
void ResetSystemColors();

int RedOf(TColor rgb);
int GreenOf(TColor rgb);
int BlueOf(TColor rgb);

// "clTeal", "clInfoBk", or "$00BBGGRR" for an unnamed colour.
std::string ColorToString(TColor color);
// Accepts the names above and "$hex"; nullopt otherwise.
std::optional<TColor> StringToColor(const std::string& text);

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
  std::string ToString() const;  // "(l,t,r,b)"
};
inline TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }

struct TFont {
  TColor Color = clWindowText;
  bool Bold = false;
  std::string Name = "MS Sans Serif";
  int Size = 8;
  bool operator==(const TFont&) const = default;
};

struct TBrush {
  TColor Color = clWindow;
};

// A surface to paint on. State (brush, font) is public, as owner-draw handlers set it
// before each operation.
class TCanvas {
 public:
  virtual ~TCanvas() = default;

  TBrush Brush;
  TFont Font;

  // Fills the rectangle (right and bottom exclusive) with the brush colour.
  virtual void FillRect(const TRect& rect) = 0;
  // Writes text with its top-left corner at (x, y) in the font colour, on the brush colour.
  virtual void TextOut(int x, int y, const std::string& text) = 0;
  virtual int TextWidth(const std::string& text) = 0;
  virtual int TextHeight(const std::string& text) = 0;
  // Fills the rectangle, then writes text at (x, y) clipped to the rectangle.
  virtual void TextRect(const TRect& rect, int x, int y, const std::string& text) = 0;
  // The dotted frame of a focused cell.
  virtual void DrawFocusRect(const TRect& rect) = 0;
};

}  // namespace rt
