// The layout resources (JSON) of the base screens, registered by RegisterBaseForms. Each
// is a .json file beside this header (layout_tfrmpadraogrid.json,
// layout_tfrmdadosgerrel.json) compiled in at build time (alloc_embed_layout).
#pragma once

namespace clib {
extern const char* const kLayoutTFRMPADRAOGRID;
extern const char* const kLayoutTFRMDADOSGERREL;
}  // namespace clib
