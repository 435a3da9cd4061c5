#include "platform/clientlib/unit.h"

#include "platform/clientlib/base_forms.h"
#include "platform/clientlib/components.h"
#include "platform/runtime/ui/dbctrls.h"

namespace clib {
namespace {
int& StartCount() {
  static int count = 0;
  return count;
}
}  // namespace

void Initialization() {
  if (StartCount()++ != 0) return;  // started already: only count
  rt::RegisterDataControls();       // the grid and bound controls the base screens are made of
  RegisterComponentClasses();
  RegisterBaseForms();
}

void Finalization() {
  if (StartCount() > 0) --StartCount();
}

int UnitStartCount() { return StartCount(); }

}  // namespace clib
