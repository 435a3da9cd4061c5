#include "platform/clientlib/labour_units.h"

#include <cmath>

namespace clib {

long long UnitsOf(double quantity) {
  if (!std::isfinite(quantity) || quantity < 1) return 0;
  return static_cast<long long>(std::trunc(quantity));
}

}  // namespace clib
