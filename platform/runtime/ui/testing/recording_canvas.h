// Test double of a canvas (tests only): records every operation as one line of text,
// with fixed metrics (7 px a character, 13 px a line), e.g.
//   "FillRect(0,0,44,18) brush=clHighlight"
//   "TextOut(2,2,\"12\") font=clHighlightText"            (" bold" when bold)
//   "TextRect(0,0,44,18; 2,2,\"Descri\") brush=clWindow font=clWindowText"  (text as clipped)
//   "DrawFocusRect(0,0,44,18)"
#pragma once

#include <string>
#include <vector>

#include "platform/runtime/ui/canvas.h"
#include "platform/runtime/ui/controls.h"

namespace rt::testing {

class TRecordingCanvas : public TCanvas {
 public:
  static constexpr int kCharWidth = 7;
  static constexpr int kLineHeight = 13;

  const std::vector<std::string>& Lines() const { return lines_; }
  std::string Log() const {
    std::string out;
    for (const auto& l : lines_) out += l + "\n";
    return out;
  }
  void Clear() { lines_.clear(); }

  void FillRect(const TRect& r) override {
    lines_.push_back("FillRect(" + Coords(r) + ") brush=" + ColorToString(Brush.Color));
  }
  void TextOut(int x, int y, const std::string& text) override {
    lines_.push_back("TextOut(" + std::to_string(x) + "," + std::to_string(y) + ",\"" + text + "\") " + FontText());
  }
  int TextWidth(const std::string& text) override { return kCharWidth * Utf8Length(text); }
  int TextHeight(const std::string&) override { return kLineHeight; }
  void TextRect(const TRect& r, int x, int y, const std::string& text) override {
    lines_.push_back("TextRect(" + Coords(r) + "; " + std::to_string(x) + "," + std::to_string(y) + ",\"" +
                     Clip(r, x, text) + "\") brush=" + ColorToString(Brush.Color) + " " + FontText());
  }
  void DrawFocusRect(const TRect& r) override { lines_.push_back("DrawFocusRect(" + Coords(r) + ")"); }

 private:
  static std::string Coords(const TRect& r) {
    return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
           std::to_string(r.Bottom);
  }
  std::string FontText() const { return "font=" + ColorToString(Font.Color) + (Font.Bold ? " bold" : ""); }
  // The characters that fit whole between x and the right edge.
  static std::string Clip(const TRect& r, int x, const std::string& text) {
    std::string out;
    int pos = x;
    for (size_t i = 0; i < text.size();) {
      size_t len = 1;
      unsigned char c = static_cast<unsigned char>(text[i]);
      if (c >= 0xF0)
        len = 4;
      else if (c >= 0xE0)
        len = 3;
      else if (c >= 0xC0)
        len = 2;
      if (pos + kCharWidth > r.Right) break;
      if (pos >= r.Left) out += text.substr(i, len);
      pos += kCharWidth;
      i += len;
    }
    return out;
  }
  std::vector<std::string> lines_;
};

}  // namespace rt::testing
