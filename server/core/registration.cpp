#include "server/core/registration.h"

namespace srv {

std::optional<Registration> ParseRegistration(const std::string& text) {
  std::string bare;
  for (char ch : text) {
    if (ch != '.' && ch != '-' && ch != '/' && ch != ' ') bare += ch;
  }
  Registration r;
  if (!bare.empty() && (bare[0] == 'F' || bare[0] == 'J')) {
    r.type = bare[0];
    bare.erase(0, 1);
  }
  if (bare.empty() || bare.size() > 20 || bare.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  r.digits = bare;
  return r;
}

}  // namespace srv
