// Unit Cli_evt04700: the allocation screen's factory, the module's start entry and the
// exported globals.
#pragma once

class TfrmAlocaMao;

extern "C" {
// The allocation screen instance; set when CriaAlocaMaoObra creates it, never cleared:
// boStCriado alone tells whether it is live.
extern TfrmAlocaMao* frmAlocaMao;
// True while the allocation screen exists.
extern bool boStCriado;

// Hour-glass cursor; creates the screen (owned by the application) unless it exists;
// shows it; normal window state; default cursor.
void CriaAlocaMaoObra();
// The module's generic start entry: exactly CriaAlocaMaoObra.
void IniProc();
}
