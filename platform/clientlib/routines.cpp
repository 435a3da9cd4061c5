#include "platform/clientlib/routines.h"

#include "platform/runtime/locale_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
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

std::string HoursText(double hours) {
  if (!std::isfinite(hours) || hours <= 0) return "00:00";
  const double rounded = RoundDec(hours, 2);
  const long long whole = static_cast<long long>(std::trunc(rounded));
  const long long minutes = std::llround((rounded - static_cast<double>(whole)) * 60);
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld", whole, minutes);
  return text;
}

double RoundDec(double x, int n) {
  if (n < 0 || n > 15) throw std::invalid_argument("RoundDec: decimals must be 0..15");
  return rt::RoundDecimal(x, n);
}

}  // namespace clib
