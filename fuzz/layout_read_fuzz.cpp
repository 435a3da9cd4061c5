// libFuzzer entry of the layout-resource reader: bytes read as a form's layout resource
// through the real class registry (platform/runtime/ui/layout_fuzz_entry.h); it aborts
// when a layout fails other than with a layout error or leaves a form behind.
//   build/fuzz/fuzz/fuzz_layout_read -max_total_time=600 <work dir> fuzz/corpus/layout
#include <cstddef>
#include <cstdint>

#include "platform/runtime/ui/layout_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return rt::FuzzOneLayout(data, size);
}
