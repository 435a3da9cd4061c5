// Rounding a float the way a person reads it: on its shortest decimal form, half away
// from zero. 1.005 (stored in binary slightly below 1.005) rounds to 1.01 and 2.675 to
// 2.68, as the clerk who typed them expects; the amount formats and the server's cents
// use this one rule, so the value shown before a save is the value stored.
#pragma once

namespace rt {

// x rounded to `decimals` places (0..15); NaN and infinities come back unchanged.
double RoundDecimal(double x, int decimals);

}  // namespace rt
