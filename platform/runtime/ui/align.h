// Control alignment, the framework's geometry rule: in a container, the children
// aligned alTop, alBottom, alLeft and alRight take the container's edges in that order
// (each from what the ones before left), then alClient ones fill the rest; controls
// not aligned (alNone) and hidden ones keep their bounds. Aligned controls get their
// new bounds written (the grid then knows how many rows fit).
#pragma once

#include "platform/runtime/ui/canvas.h"
#include "platform/runtime/ui/controls.h"

namespace rt {

// Lays out the direct children of `container` inside `client`, the container's client
// rectangle in its own coordinates (exclusive right and bottom).
void AlignControls(TWinControl& container, const TRect& client);

}  // namespace rt
