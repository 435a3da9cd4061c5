#include "platform/runtime/ui/canvas.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace rt {

namespace {

constexpr int kSystemColorCount = 25;

// The classic default palette of the host system, by system colour index.
constexpr std::array<TColor, kSystemColorCount> kClassicPalette = {
    RGBColor(212, 208, 200),  // 0 scroll bar
    RGBColor(58, 110, 165),   // 1 background
    RGBColor(10, 36, 106),    // 2 active caption
    RGBColor(128, 128, 128),  // 3 inactive caption
    RGBColor(212, 208, 200),  // 4 menu
    RGBColor(255, 255, 255),  // 5 window
    RGBColor(0, 0, 0),        // 6 window frame
    RGBColor(0, 0, 0),        // 7 menu text
    RGBColor(0, 0, 0),        // 8 window text
    RGBColor(255, 255, 255),  // 9 caption text
    RGBColor(212, 208, 200),  // 10 active border
    RGBColor(212, 208, 200),  // 11 inactive border
    RGBColor(128, 128, 128),  // 12 application work space
    RGBColor(10, 36, 106),    // 13 highlight
    RGBColor(255, 255, 255),  // 14 highlight text
    RGBColor(212, 208, 200),  // 15 button face
    RGBColor(128, 128, 128),  // 16 button shadow
    RGBColor(128, 128, 128),  // 17 grey text
    RGBColor(0, 0, 0),        // 18 button text
    RGBColor(212, 208, 200),  // 19 inactive caption text
    RGBColor(255, 255, 255),  // 20 button highlight
    RGBColor(64, 64, 64),     // 21 3D dark shadow
    RGBColor(212, 208, 200),  // 22 3D light
    RGBColor(0, 0, 0),        // 23 info text
    RGBColor(255, 255, 225),  // 24 info background
};

std::array<TColor, kSystemColorCount>& Palette() {
  static std::array<TColor, kSystemColorCount> palette = kClassicPalette;
  return palette;
}

struct NamedColor {
  const char* name;
  TColor color;
};

constexpr NamedColor kNames[] = {
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clScrollBar", clScrollBar},
    {"clBackground", clBackground},
    {"clActiveCaption", clActiveCaption},
    {"clWindow", clWindow},
    {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText},
    {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText},
    {"clBtnFace", clBtnFace},
    {"clGrayText", clGrayText},
    {"clBtnText", clBtnText},
    {"clInfoText", clInfoText},
    {"clInfoBk", clInfoBk},
};

}  // namespace

bool IsSystemColor(TColor color) { return (static_cast<std::uint32_t>(color) & 0xFF000000u) == 0xFF000000u; }

int SystemColorIndex(TColor color) {
  return IsSystemColor(color) ? static_cast<int>(static_cast<std::uint32_t>(color) & 0xFFu) : -1;
}

TColor ColorToRGB(TColor color) {
  if (!IsSystemColor(color)) return color;
  int index = SystemColorIndex(color);
  return index < kSystemColorCount ? Palette()[index] : clBlack;
}

void SetSystemColor(int index, TColor rgb) {
  if (index >= 0 && index < kSystemColorCount) Palette()[index] = rgb;
}

void ResetSystemColors() { Palette() = kClassicPalette; }

int RedOf(TColor rgb) { return rgb & 0xFF; }
int GreenOf(TColor rgb) { return (rgb >> 8) & 0xFF; }
int BlueOf(TColor rgb) { return (rgb >> 16) & 0xFF; }

std::string ColorToString(TColor color) {
  for (const auto& n : kNames)
    if (n.color == color) return n.name;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "$%08X", static_cast<unsigned>(color));
  return buffer;
}

std::optional<TColor> StringToColor(const std::string& text) {
  for (const auto& n : kNames)
    if (text == n.name) return n.color;
  if (text.size() > 1 && text.size() <= 9 && text[0] == '$') {
    char* end = nullptr;
    unsigned long value = std::strtoul(text.c_str() + 1, &end, 16);
    if (end && *end == '\0') return static_cast<TColor>(static_cast<std::uint32_t>(value));
  }
  return std::nullopt;
}

std::string TRect::ToString() const {
  return "(" + std::to_string(Left) + "," + std::to_string(Top) + "," + std::to_string(Right) + "," +
         std::to_string(Bottom) + ")";
}

}  // namespace rt
