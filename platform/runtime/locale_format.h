// Number conversions with the user's locale settings: the decimal and thousands
// separators that the clerk sees and types, and the time and date separators that edit
// masks show. Brazilian settings are the default.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include "platform/runtime/exception.h"

namespace rt {

struct FormatSettings {
  char decimal_separator = ',';
  char thousands_separator = '.';
  char time_separator = ':';
  char date_separator = '/';

  bool operator==(const FormatSettings&) const = default;
};

// The settings of the process: the host sets them at start-up from the user's profile,
// tests set and restore them. Reads and writes are safe from any thread.
FormatSettings CurrentFormatSettings();
void SetCurrentFormatSettings(const FormatSettings& settings);

// Thrown when a text is not a number: "'1-' is not a valid floating point value".
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Formats `value` with a number pattern: optional literal prefix and suffix around
// [#,]...0[.0...#...], where the zeros before the point give the minimum integer digits,
// a ',' anywhere before the point asks for thousands separators, the zeros after the
// point give the decimals always shown and the '#' after them the further decimals shown
// when not zero. "#,##0.00" with 1234.5 gives "1.234,50" in Brazilian settings.
// Rounds half away from zero on the value's shortest decimal form, so 1.005 gives
// "1,01" as the clerk who typed 1,005 expects. Throws EConvertError for a
// pattern without digit placeholders.
std::string FormatFloat(std::string_view pattern, double value, const FormatSettings& settings);
std::string FormatFloat(std::string_view pattern, double value);

// x rounded to `decimals` places (0..15) the way a person reads it: half away from zero
// on its shortest decimal form, as FormatFloat rounds. 1.005 (stored in binary slightly
// below 1.005) gives 1.01 and 2.675 gives 2.68, as the clerk who typed them expects; the
// amount formats and the server's cents use this one rule, so the value shown before a
// save is the value stored. NaN and infinities come back unchanged.
double RoundDecimal(double x, int decimals);

// The plain text of a number: at most 15 significant digits (the precision of a typed
// amount, which also hides the binary noise of arithmetic: 0.33 * 60 gives "19,8"),
// trailing zeros dropped, the user's decimal separator, no thousands separator:
// 5.5 -> "5,5", 6 -> "6", 1e20 -> "1E20", 1.5e-7 -> "1,5E-7".
std::string FloatToStr(double value, const FormatSettings& settings);
std::string FloatToStr(double value);

// Reads a number typed with the user's decimal separator: optional blanks around,
// optional sign, digits with at most one decimal separator (at least one digit), an
// optional exponent ("1,5E3"). Thousands separators are not accepted. StrToFloat throws
// EConvertError; TryStrToFloat returns false and leaves `out` untouched.
double StrToFloat(std::string_view text, const FormatSettings& settings);
double StrToFloat(std::string_view text);
bool TryStrToFloat(std::string_view text, double& out, const FormatSettings& settings);
bool TryStrToFloat(std::string_view text, double& out);

}  // namespace rt
