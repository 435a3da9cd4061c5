// The layout resources the module carries, registered under their names by the
// library's attach entry (module/entry.cpp). Each is a .json file beside its screen,
// compiled in at build time (alloc_embed_layout in module/CMakeLists.txt).
#pragma once

extern const char* const kLayoutTFRMALOCAMAO;      // alloc/layout_tfrmalocamao.json
extern const char* const kLayoutTFRMRELALOCMOBRA;  // report/layout_tfrmrelalocmobra.json
