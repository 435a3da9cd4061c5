#include "alloc/conversions.h"

#include <algorithm>
#include <cmath>

#include "platform/clientlib/routines.h"
#include "platform/runtime/edit_mask.h"

namespace alloc {

std::string Ajusta_Hora(const std::string& typed) {
  if (clib::EmptyString(typed)) return "";
  std::string hours = "00", minutes = "00";
  auto take = [&](std::size_t from, std::string& into) {
    const std::string part = clib::Ajusta(typed.substr(from, 2), 2);
    if (!clib::EmptyString(part)) into = part;
  };
  take(0, hours);
  if (typed.size() == 4) take(2, minutes);
  if (typed.size() == 5) take(3, minutes);  // character 3 is the separator
  return hours + minutes;
}

std::string LimpaMascara(std::string registration) {
  std::erase(registration, '-');
  std::erase(registration, '.');
  return registration;
}

std::string MascaraHora(const std::string& stored) { return rt::FormatMaskText("99:99;0", stored); }

std::string ComArgumentos(std::string text, const std::vector<std::string>& args) {
  std::size_t from = 0;
  for (const std::string& arg : args) {
    const std::size_t at = text.find("%s", from);
    if (at == std::string::npos) break;
    text.replace(at, 2, arg);
    from = at + arg.size();
  }
  return text;
}

std::string NomeOrcamento(const std::string& numero, const std::string& sequencia) {
  const std::size_t first = numero.find_first_not_of('0');
  return (first == std::string::npos ? numero : numero.substr(first)) + "/" + sequencia;
}

}  // namespace alloc
