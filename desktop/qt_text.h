// Runtime texts are UTF-8 std::strings; Qt's are QStrings. One conversion for the host.
#pragma once

#include <QString>
#include <string>

namespace desk {

inline QString Q(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace desk
