// How many units of labour a labour item holds. The allocation grid, its report and
// the server's checks all count the same way, so that a quantity of 2.9 is two units
// everywhere the clerk looks.
#pragma once

namespace clib {

// Number of units of a labour item: its quantity truncated toward zero; none for a
// quantity below 1, and none for one that is not a finite number.
long long UnitsOf(double quantity);

}  // namespace clib
