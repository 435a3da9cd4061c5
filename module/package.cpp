#include "module/package.h"

#include "module/contracts/units.h"
#include "platform/clientlib/unit.h"

namespace {

// Required packages' units first (the shared client and forms library registers its
// classes and base layouts there), then the report unit, then the allocation unit.
const PackageUnitEntry kUnits[] = {
    {&clib::Initialization, &clib::Finalization},
    {&Cli_evt04701::Initialization, &Cli_evt04701::Finalization},
    {&Cli_evt04700::Initialization, &Cli_evt04700::Finalization},
};

const PackageInfoTable kTable = {static_cast<int>(sizeof kUnits / sizeof kUnits[0]), kUnits};

}  // namespace

extern "C" {

const PackageInfoTable* GetPackageInfoTable() { return &kTable; }

void Initialize() {
  for (int i = 0; i < kTable.UnitCount; ++i)
    if (kTable.UnitInfo[i].Init) kTable.UnitInfo[i].Init();
}

void Finalize() {
  for (int i = kTable.UnitCount - 1; i >= 0; --i)
    if (kTable.UnitInfo[i].FInit) kTable.UnitInfo[i].FInit();
}

}  // extern "C"
