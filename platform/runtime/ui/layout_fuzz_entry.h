// The fuzz entry of the layout-resource reader: bytes taken as the layout resource of a
// form class and read into a new form through the real class registry (every standard
// class, property and event), as a form's creation reads its resources. A fuzz target
// (libFuzzer) only needs
//   extern "C" int LLVMFuzzerTestOneInput(const uint8_t* d, size_t n) { return rt::FuzzOneLayout(d, n); }
// linked with alloc_ui. The seed corpus is fuzz/corpus/layout/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rt {

// Reads the bytes as a layout. A layout either builds its form or fails with
// ELayoutError, and a failed one leaves no form behind; "" when that holds, otherwise
// what went wrong (another exception, a form left registered).
std::string CheckOneLayout(const std::uint8_t* data, std::size_t size);
// The same for libFuzzer: aborts when the check fails; returns 0.
int FuzzOneLayout(const std::uint8_t* data, std::size_t size);

}  // namespace rt
