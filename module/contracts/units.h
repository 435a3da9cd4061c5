// The initialisation and finalisation of the module's two units, called through the
// package's unit table (module/package.cpp).
#pragma once

namespace Cli_evt04700 {
void Initialization();
void Finalization();
}  // namespace Cli_evt04700

namespace Cli_evt04701 {
void Initialization();
void Finalization();
}  // namespace Cli_evt04701
