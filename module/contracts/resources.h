// The layout resources the module carries, registered under their names by the
// library's attach entry (module/entry.cpp).
#pragma once

extern const char* const kLayoutTFRMALOCAMAO;      // alloc/layout_tfrmalocamao.cpp
extern const char* const kLayoutTFRMRELALOCMOBRA;  // report/layout_tfrmrelalocmobra.cpp
