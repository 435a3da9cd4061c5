// Feeds arbitrary bytes to the packet reader. A DecodeError is the expected answer to
// bad input; anything else that escapes (another exception, a crash, a sanitizer report)
// is a fault. Whatever decodes must also survive the writer and read back equal, and the
// reader over an nlohmann::json must agree with it wherever both accept the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/runtime/packet_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  rt::Variant value;
  try {
    value = rt::DecodeVariant(text);
  } catch (const rt::DecodeError&) {
    return 0;
  }
  if (!(rt::DecodeVariant(rt::EncodeVariant(value)) == value)) std::abort();

  // nlohmann-json reads some texts differently (duplicate keys, integers beyond 64
  // bits); only where both readers accept must they agree.
  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded()) return 0;
  try {
    if (!(rt::VariantFromJson(json) == value)) std::abort();
  } catch (const rt::DecodeError&) {
  }
  return 0;
}
