#include "report/cli_evt04701.h"

#include "module/contracts/units.h"
#include "module/factory.h"
#include "module/package.h"
#include "report/frm_rel_aloc_mobra.h"

extern "C" {
__attribute__((visibility("default"))) TfrmRelAlocMObra* frmRelAlocMObra = nullptr;

__attribute__((visibility("default"))) void CriaRelAlocMObra() {
  pkg::OpenScreen<TfrmRelAlocMObra>(frmRelAlocMObra, Cli_evt04701::boRelCriado, /*restore_window=*/false);
}
}

namespace Cli_evt04701 {

__attribute__((visibility("hidden"))) bool boRelCriado = false;

namespace {
pkg::UnitCounter counter;
}

void Initialization() {
  if (counter.Enter()) boRelCriado = false;
}

void Finalization() { counter.Leave(); }

}  // namespace Cli_evt04701
