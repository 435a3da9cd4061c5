// Money on the server is integer cents; the client's float is converted here only.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

#include "platform/runtime/locale_format.h"

namespace srv {

// Rounds a float amount to cents, half away from zero on its shortest decimal form, the
// rule by which the client shows amounts (1.005 -> 101 cents, 2.675 -> 268). Nullopt for
// NaN, infinities and amounts beyond ±10^13 (a hundred billion), which no labour
// payment reaches.
inline std::optional<std::int64_t> CentsFromFloat(double amount) {
  if (!std::isfinite(amount) || std::fabs(amount) > 1e13) return std::nullopt;
  return static_cast<std::int64_t>(std::llround(rt::RoundDecimal(amount, 2) * 100.0));
}

inline double FloatFromCents(std::int64_t cents) { return static_cast<double>(cents) / 100.0; }

}  // namespace srv
