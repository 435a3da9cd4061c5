#include "platform/runtime/locale_format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <system_error>

namespace rt {

namespace {

std::mutex settings_mutex;
FormatSettings current_settings;

// A finite non-negative number in decimal: 0.d1d2d3... x 10^point, that is `point`
// digits before the decimal point. Zero is {"0", 1}.
struct Decimal {
  std::string digits;
  int point = 1;

  bool IsZero() const { return digits.find_first_not_of('0') == std::string::npos; }

  // Digit at a position counted from the first one (0), zero outside the digits.
  char At(long i) const { return i >= 0 && i < static_cast<long>(digits.size()) ? digits[i] : '0'; }

  // Rounds half away from zero to `decimals` places after the point.
  void Round(int decimals) {
    const long keep = static_cast<long>(point) + decimals;
    if (keep >= static_cast<long>(digits.size())) return;
    if (keep < 0) {
      *this = Decimal{"0", 1};
      return;
    }
    const bool up = digits[keep] >= '5';
    digits.resize(keep);
    if (up) {
      long i = keep - 1;
      while (i >= 0 && digits[i] == '9') digits[i--] = '0';
      if (i >= 0) {
        ++digits[i];
      } else {
        digits.insert(digits.begin(), '1');
        ++point;
      }
    }
    if (digits.empty()) *this = Decimal{"0", 1};
  }

  void DropTrailingZeros() {
    const auto last = digits.find_last_not_of('0');
    digits.resize(last == std::string::npos ? 1 : last + 1);
  }

  // The digits before the point, at least one.
  std::string IntegerPart() const {
    if (point <= 0) return "0";
    std::string s;
    for (long i = 0; i < point; ++i) s += At(i);
    return s;
  }
};

// `significant` digits (0: the shortest form that reads back as the same double).
Decimal ToDecimal(double magnitude, int significant) {
  if (magnitude == 0) return {"0", 1};
  char buf[64];
  const auto result =
      significant > 0 ? std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, significant - 1)
                      : std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
  const std::string_view text(buf, result.ptr - buf);  // "d.ddde+XX" or "de-XX"
  const auto e = text.find('e');
  Decimal d;
  for (char c : text.substr(0, e))
    if (c != '.') d.digits += c;
  d.point = std::atoi(std::string(text.substr(e + 1)).c_str()) + 1;
  return d;
}

std::string NonFinite(double value) {
  if (std::isnan(value)) return "NAN";
  return value < 0 ? "-INF" : "INF";
}

std::string Grouped(const std::string& integer, char separator) {
  std::string out;
  for (std::size_t i = 0; i < integer.size(); ++i) {
    if (i > 0 && (integer.size() - i) % 3 == 0) out += separator;
    out += integer[i];
  }
  return out;
}

struct NumberPattern {
  std::string prefix, suffix;
  int min_integer = 0, min_decimals = 0, optional_decimals = 0;
  bool grouped = false;
};

NumberPattern ParsePattern(std::string_view pattern) {
  const auto first = pattern.find_first_of("#0,.");
  const auto last = pattern.find_last_of("#0,.");
  if (first == std::string_view::npos || pattern.find_first_of("#0") == std::string_view::npos ||
      pattern.find(';') != std::string_view::npos)
    throw EConvertError("unsupported number pattern \"" + std::string(pattern) + "\"");
  NumberPattern p;
  p.prefix = pattern.substr(0, first);
  p.suffix = pattern.substr(last + 1);
  bool after_point = false;
  for (char c : pattern.substr(first, last - first + 1)) {
    if (c == '.') {
      after_point = true;
    } else if (!after_point) {
      p.min_integer += c == '0';
      p.grouped = p.grouped || c == ',';
    } else if (c == '0') {
      p.min_decimals += 1 + p.optional_decimals;  // a zero after a '#' makes both shown
      p.optional_decimals = 0;
    } else if (c == '#') {
      ++p.optional_decimals;
    }
  }
  return p;
}

}  // namespace

FormatSettings CurrentFormatSettings() {
  std::lock_guard lock(settings_mutex);
  return current_settings;
}

void SetCurrentFormatSettings(const FormatSettings& settings) {
  std::lock_guard lock(settings_mutex);
  current_settings = settings;
}

std::string FormatFloat(std::string_view pattern, double value, const FormatSettings& settings) {
  const NumberPattern p = ParsePattern(pattern);
  if (!std::isfinite(value)) return NonFinite(value);
  Decimal d = ToDecimal(std::fabs(value), 0);
  d.Round(p.min_decimals + p.optional_decimals);

  std::string integer = d.IntegerPart();
  if (integer == "0" && p.min_integer == 0) integer.clear();
  if (static_cast<int>(integer.size()) < p.min_integer) integer.insert(0, p.min_integer - integer.size(), '0');
  if (p.grouped) integer = Grouped(integer, settings.thousands_separator);

  std::string fraction;
  for (int i = 0; i < p.min_decimals + p.optional_decimals; ++i) fraction += d.At(d.point + i);
  const auto last_shown = fraction.find_last_not_of('0');
  const std::size_t shown = last_shown == std::string::npos ? 0 : last_shown + 1;
  fraction.resize(std::max<std::size_t>(p.min_decimals, shown));

  std::string out = p.prefix;
  if (value < 0 && !d.IsZero()) out += '-';
  out += integer;
  if (!fraction.empty()) out += settings.decimal_separator + fraction;
  return out + p.suffix;
}

std::string FormatFloat(std::string_view pattern, double value) {
  return FormatFloat(pattern, value, CurrentFormatSettings());
}

std::string FloatToStr(double value, const FormatSettings& settings) {
  if (!std::isfinite(value)) return NonFinite(value);
  if (value == 0) return "0";
  Decimal d = ToDecimal(std::fabs(value), 15);
  d.DropTrailingZeros();
  std::string out = value < 0 ? "-" : "";
  const int exponent = d.point - 1;
  if (exponent >= 15 || exponent < -5) {
    out += d.digits[0];
    if (d.digits.size() > 1) out += settings.decimal_separator + d.digits.substr(1);
    return out + "E" + std::to_string(exponent);
  }
  out += d.IntegerPart();
  if (static_cast<long>(d.digits.size()) > d.point) {
    out += settings.decimal_separator;
    for (long i = d.point; i < static_cast<long>(d.digits.size()); ++i) out += d.At(i);
  }
  return out;
}

std::string FloatToStr(double value) { return FloatToStr(value, CurrentFormatSettings()); }

bool TryStrToFloat(std::string_view text, double& out, const FormatSettings& settings) {
  auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };

  // Rewrites the text into the C form that from_chars reads, checking its shape.
  std::string c_form;
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int mantissa_digits = 0;
  for (; i < text.size() && is_digit(text[i]); ++i, ++mantissa_digits) c_form += text[i];
  if (i < text.size() && text[i] == settings.decimal_separator) {
    c_form += '.';
    for (++i; i < text.size() && is_digit(text[i]); ++i, ++mantissa_digits) c_form += text[i];
  }
  if (mantissa_digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    c_form += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) c_form += text[i++];
    int exponent_digits = 0;
    for (; i < text.size() && is_digit(text[i]); ++i, ++exponent_digits) c_form += text[i];
    if (exponent_digits == 0) return false;
  }
  if (i != text.size()) return false;

  double value = 0;
  const auto result = std::from_chars(c_form.data(), c_form.data() + c_form.size(), value);
  if (result.ec != std::errc() || result.ptr != c_form.data() + c_form.size()) return false;
  out = negative ? -value : value;
  return true;
}

bool TryStrToFloat(std::string_view text, double& out) { return TryStrToFloat(text, out, CurrentFormatSettings()); }

double RoundDecimal(double x, int decimals) {
  if (!std::isfinite(x) || x == 0) return x;
  Decimal d = ToDecimal(std::fabs(x), 0);
  d.Round(decimals);
  const std::string text = "0." + d.digits + "e" + std::to_string(d.point);
  double out = 0;
  std::from_chars(text.data(), text.data() + text.size(), out);
  return x < 0 ? -out : out;
}

double StrToFloat(std::string_view text, const FormatSettings& settings) {
  double value = 0;
  if (!TryStrToFloat(text, value, settings))
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return value;
}

double StrToFloat(std::string_view text) { return StrToFloat(text, CurrentFormatSettings()); }

}  // namespace rt
