// The layout resources (JSON) of the base screens, registered by RegisterBaseForms.
#pragma once

namespace clib {
extern const char* const kLayoutTFRMPADRAOGRID;
extern const char* const kLayoutTFRMDADOSGERREL;
}  // namespace clib
