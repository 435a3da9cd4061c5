// Unit Cli_evt04701: the allocation report form's factory and globals.
#pragma once

class TfrmRelAlocMObra;

extern "C" {
// The report form instance; set when CriaRelAlocMObra creates it, never cleared.
extern TfrmRelAlocMObra* frmRelAlocMObra;

// Hour-glass cursor; creates the report form unless it exists; shows it (its window
// state untouched); default cursor.
void CriaRelAlocMObra();
}

namespace Cli_evt04701 {
// True while the report form exists (not exported).
extern bool boRelCriado;
}  // namespace Cli_evt04701
