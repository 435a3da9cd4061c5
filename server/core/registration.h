// The registration number of a professional as the client sends it.
#pragma once

#include <optional>
#include <string>

namespace srv {

struct Registration {
  char type = 0;       // 'F' person, 'J' company, 0 when the text carried no type letter
  std::string digits;  // bare digits, as stored
};

// Accepts the client's key (type letter "F" or "J" followed by the digits) and a bare
// registration; the mask characters ".", "-", "/" and blanks are dropped first.
// Nullopt for anything else (letters among the digits, no digit at all).
std::optional<Registration> ParseRegistration(const std::string& text);

}  // namespace srv
