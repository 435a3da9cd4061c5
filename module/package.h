// The package frame of the library: the unit initialisation table, its walk by
// Initialize / Finalize, and the start-up counter every unit keeps.
//
// The table lists one (initialisation, finalisation) pair per unit the package uses:
// first the units of the required packages, then Cli_evt04701, then Cli_evt04700 last.
// Initialize runs the initialisations in table order, Finalize the finalisations in
// reverse. A unit's counter makes its initialisation do its work only the first time
// it runs, however often the table is walked; its finalisation only counts down (and
// once balanced lets a later Initialize start the unit again).
#pragma once

extern "C" {

struct PackageUnitEntry {
  void (*Init)();
  void (*FInit)();
};

struct PackageInfoTable {
  int UnitCount;
  const PackageUnitEntry* UnitInfo;
};

const PackageInfoTable* GetPackageInfoTable();
void Initialize();
void Finalize();

}  // extern "C"

namespace pkg {

// A unit's start-up counter.
class UnitCounter {
 public:
  // True only on the run that takes the counter from 0 to 1: the unit starts.
  bool Enter() { return count_++ == 0; }
  // Counts a finalisation down (never below 0); true when the unit is now stopped.
  bool Leave() { return count_ > 0 && --count_ == 0; }
  int Count() const { return count_; }

 private:
  int count_ = 0;
};

}  // namespace pkg
