#include "alloc/cli_evt04700.h"

#include "alloc/frm_aloca_mao.h"
#include "module/contracts/units.h"
#include "module/factory.h"
#include "module/package.h"
#include "platform/runtime/ui/application.h"

extern "C" {
__attribute__((visibility("default"))) TfrmAlocaMao* frmAlocaMao = nullptr;
__attribute__((visibility("default"))) bool boStCriado = false;

__attribute__((visibility("default"))) void CriaAlocaMaoObra() {
  pkg::OpenScreen<TfrmAlocaMao>(frmAlocaMao, boStCriado, /*restore_window=*/true);
}

__attribute__((visibility("default"))) void IniProc() { CriaAlocaMaoObra(); }
}

namespace Cli_evt04700 {
namespace {
pkg::UnitCounter counter;
}

void Initialization() {
  if (counter.Enter()) boStCriado = false;
}

void Finalization() { counter.Leave(); }

}  // namespace Cli_evt04700
