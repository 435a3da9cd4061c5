#include "platform/runtime/edit_mask.h"

#include <cctype>

namespace rt {

namespace {

bool IsInputChar(char c) {
  switch (c) {
    case '0':
    case '9':
    case '#':
    case 'L':
    case 'l':
    case 'A':
    case 'a':
    case 'C':
    case 'c':
      return true;
    default:
      return false;
  }
}

// The picture ends at the first ';' that is not escaped; the options follow.
std::vector<std::string_view> SplitParts(std::string_view mask) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    if (mask[i] == '\\' && parts.empty()) {
      ++i;  // escapes only matter within the picture
    } else if (mask[i] == ';') {
      parts.push_back(mask.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(mask.substr(start));
  return parts;
}

char Cased(char c, EditMask::Case letter_case) {
  const auto u = static_cast<unsigned char>(c);
  switch (letter_case) {
    case EditMask::Case::Upper:
      return static_cast<char>(std::toupper(u));
    case EditMask::Case::Lower:
      return static_cast<char>(std::tolower(u));
    case EditMask::Case::AsTyped:
      break;
  }
  return c;
}

// Bytes of the UTF-8 character starting at `at` (a stray continuation byte counts alone).
std::size_t CharLength(std::string_view s, std::size_t at) {
  std::size_t n = 1;
  while (at + n < s.size() && (static_cast<unsigned char>(s[at + n]) & 0xC0) == 0x80) ++n;
  return n;
}

}  // namespace

EditMask ParseEditMask(std::string_view mask, const FormatSettings& settings) {
  const std::vector<std::string_view> parts = SplitParts(mask);
  EditMask m;
  if (parts.size() > 1 && !parts[1].empty()) m.saves_literals = parts[1] != "0";
  if (parts.size() > 2 && !parts[2].empty()) m.blank = parts[2][0];

  const std::string_view picture = parts[0];
  EditMask::Case letter_case = EditMask::Case::AsTyped;
  for (std::size_t i = 0; i < picture.size(); ++i) {
    const char c = picture[i];
    EditMask::Position pos;
    if (c == '\\') {
      if (++i == picture.size()) break;  // a trailing backslash escapes nothing
      pos.literal = picture[i];
    } else if (c == '<' && i + 1 < picture.size() && picture[i + 1] == '>') {
      letter_case = EditMask::Case::AsTyped;
      ++i;
      continue;
    } else if (c == '>' || c == '<') {
      letter_case = c == '>' ? EditMask::Case::Upper : EditMask::Case::Lower;
      continue;
    } else if (c == '!') {
      continue;
    } else if (IsInputChar(c)) {
      pos.input = true;
      pos.mask_char = c;
      pos.letter_case = letter_case;
    } else {
      pos.literal = c == ':' ? settings.time_separator : c == '/' ? settings.date_separator : c == '_' ? ' ' : c;
    }
    m.positions.push_back(pos);
  }
  return m;
}

std::string FormatMaskText(std::string_view mask, std::string_view value, const FormatSettings& settings) {
  if (mask.empty()) return std::string(value);
  const EditMask m = ParseEditMask(mask, settings);
  std::string out;
  out.reserve(m.positions.size() + value.size());
  std::size_t next = 0;  // next character of the value
  for (const EditMask::Position& pos : m.positions) {
    if (!pos.input) {
      out += pos.literal;
      if (m.saves_literals && next < value.size() && value[next] == pos.literal) ++next;
    } else if (next < value.size()) {
      const std::size_t length = CharLength(value, next);
      if (length == 1) {
        out += Cased(value[next], pos.letter_case);
      } else {
        out += value.substr(next, length);
      }
      next += length;
    } else {
      out += ' ';
    }
  }
  out += value.substr(next);
  return out;
}

std::string FormatMaskText(std::string_view mask, std::string_view value) {
  return FormatMaskText(mask, value, CurrentFormatSettings());
}

}  // namespace rt
