#include "platform/runtime/decimal_round.h"

#include <charconv>
#include <cmath>
#include <string>

namespace rt {

double RoundDecimal(double x, int decimals) {
  if (!std::isfinite(x)) return x;
  // The shortest text that reads back as x is the decimal value the user sees.
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
  if (res.ec != std::errc()) return x;
  std::string text(buf, res.ptr);
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.erase(0, 1);
  const std::size_t dot = text.find('.');
  const std::string int_part = dot == std::string::npos ? text : text.substr(0, dot);
  const std::string frac = dot == std::string::npos ? "" : text.substr(dot + 1);
  const auto n = static_cast<std::size_t>(decimals);
  if (frac.size() <= n) return x;  // nothing to round away
  std::string digits = int_part + frac.substr(0, n);
  if (frac[n] >= '5') {  // one unit in the last kept place, carried to the left
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0)
      digits.insert(0, 1, '1');
    else
      ++digits[i - 1];
  }
  std::string rounded = digits.substr(0, digits.size() - n);
  if (n > 0) rounded += "." + digits.substr(digits.size() - n);
  double out = 0;
  std::from_chars(rounded.data(), rounded.data() + rounded.size(), out);
  return negative ? -out : out;
}

}  // namespace rt
