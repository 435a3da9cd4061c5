// Start-up and shut-down of the shared client and forms library as a unit of a package:
// a package that requires the library lists these in its unit table. The first
// Initialization registers the library's component classes and base screen layouts
// with the runtime; further runs only count. Finalization counts down.
#pragma once

namespace clib {

void Initialization();
void Finalization();
int UnitStartCount();  // how many times the unit was started and not yet finalised

}  // namespace clib
