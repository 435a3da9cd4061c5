#include "platform/clientlib/routines.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace clib {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool EmptyString(const std::string& s) {
  for (char c : s)
    if (!IsBlank(c)) return false;
  return true;
}

std::string Ajusta(const std::string& s, int n) {
  std::string t = Trim(s);
  if (AllDigits(t) && static_cast<int>(t.size()) < n) t.insert(0, n - t.size(), '0');
  return t;
}

std::string Ajusta_Inscricao(std::string& inscricao) {
  inscricao = Trim(inscricao);
  if (AllDigits(inscricao)) {
    if (inscricao.size() == 11) return "F";
    if (inscricao.size() == 14) return "J";
  }
  return "";
}

std::string PictPess(const std::string& tipo) {
  if (tipo == "F") return "999.999.999-99;0";
  if (tipo == "J") return "99.999.999/9999-99;0";
  return "";
}

double RoundDec(double x, int n) {
  if (n < 0 || n > 15) throw std::invalid_argument("RoundDec: decimals must be 0..15");
  if (!std::isfinite(x)) return x;
  // The shortest text that reads back as x is the decimal value the user sees.
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
  if (res.ec != std::errc()) return x;
  std::string text(buf, res.ptr);
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.erase(0, 1);
  std::size_t dot = text.find('.');
  std::string int_part = dot == std::string::npos ? text : text.substr(0, dot);
  std::string frac = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (static_cast<int>(frac.size()) <= n) return x;  // nothing to round away
  bool up = frac[n] >= '5';
  std::string digits = int_part + frac.substr(0, n);
  if (up) {  // add one unit in the last kept place, carrying to the left
    int i = static_cast<int>(digits.size()) - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i < 0)
      digits.insert(0, 1, '1');
    else
      ++digits[i];
  }
  std::string rounded = digits.substr(0, digits.size() - n);
  if (n > 0) rounded += "." + digits.substr(digits.size() - n);
  double out = 0;
  std::from_chars(rounded.data(), rounded.data() + rounded.size(), out);
  return negative ? -out : out;
}

}  // namespace clib
