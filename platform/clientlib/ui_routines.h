// Routines of the shared library that work on the screen: the search list over a data
// source, the busy animation, enabling a container's children.
#pragma once

#include <string>

#include "platform/runtime/data_source.h"
#include "platform/runtime/ui/controls.h"
#include "platform/runtime/ui/forms.h"

namespace clib {

// Shows the rows of the source's dataset in the pick list of the dialog service and
// makes the chosen row current. `title` is the list's title, optionally followed by "|"
// and the text the list shows when it has no rows. all_fields false lists the visible
// fields only (true: every field); locate true makes the chosen row the current one.
// Columns are titled with the fields' display labels and filled with their display
// texts (OnGetText applies). True when the user chose a row; false when the list was
// cancelled or empty (an empty list is still shown, with its empty-list text, so the
// user learns why there is nothing to choose). A closed dataset counts as empty.
bool Pesquisar(rt::TDataSource& source, const std::string& title, bool all_fields, bool locate);

// Shows the busy animation of the given kind (1: loading, 6: saving / processing).
// Calls nest: only the outermost shows the animation and only its matching
// DeactiveShowAvi hides it, so a routine that shows it may call another that does.
// `form` is the window the animation belongs to (the main form; may be null).
void ActiveShowAvi(rt::TForm* form, int kind);
// Hides what the matching ActiveShowAvi showed; an unmatched call does nothing.
void DeactiveShowAvi();
// How many ActiveShowAvi calls are waiting for their DeactiveShowAvi.
int ShowAviDepth();

// Enables or disables every control inside the container (not the container itself).
using rt::SetChildEnabled;

}  // namespace clib
