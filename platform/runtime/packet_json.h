// The JSON form of variants and data packets, as they travel between the application
// server and the screens. The form is described field by field at the top of
// packet_json.cpp and in docs/packets.md.
//
// Encoding refuses what the decoder would refuse (a value that does not fit its field,
// a row of the wrong width, a non-finite float): the sender's fault is reported where
// it happens. Decoding checks everything and throws DecodeError naming the problem and
// where it is; it never trusts sizes, depths or shapes that come over the wire.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/runtime/packet.h"
#include "platform/runtime/variant.h"

namespace rt {

// Thrown by the decoder: the text or JSON is not a well-formed variant or packet.
class DecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Thrown by the encoder: the value cannot be written in the JSON form.
class EncodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Bounds of what the decoder accepts. The fixed ones are part of the form and the same
// for every reader; the text size is a reader's own choice.
struct DecodeLimits {
  std::size_t max_text_bytes = 64u << 20;  // 64 MiB
};

inline constexpr int kPacketVersion = 1;
inline constexpr int kMaxNestingDepth = 64;  // arrays and objects inside each other
inline constexpr int kMaxFields = 1024;
inline constexpr int kMaxFieldSize = 1'000'000;  // characters of a string field

// Variants.
nlohmann::json ToJson(const Variant& value);
Variant VariantFromJson(const nlohmann::json& json);
std::string EncodeVariant(const Variant& value);
// Appends what EncodeVariant returns to `out` (a large answer is written once, in place);
// after an EncodeError `out` ends with a partial text.
void EncodeVariantTo(std::string& out, const Variant& value);
Variant DecodeVariant(std::string_view text, const DecodeLimits& limits = {});

// Data packets (a variant that must be a packet).
nlohmann::json ToJson(const DataPacket& packet);
DataPacket PacketFromJson(const nlohmann::json& json);
std::string EncodePacket(const DataPacket& packet);
DataPacket DecodePacket(std::string_view text, const DecodeLimits& limits = {});

// A JSON-RPC 2.0 response, read in one pass straight into variants: either its error or
// its result {"value": <variant>, "params": [<variant>, ...]}.
struct RpcAnswer {
  bool is_error = false;
  // An error: its code when that is an integer that fits, else 0; its message when that
  // is a string.
  int error_code = 0;
  std::optional<std::string> error_message;
  // A result: what is wrong with it ("" when it is well formed), else its parts.
  std::string problem;
  Variant value;
  std::vector<Variant> params;
};

// Throws DecodeError only when the text is not a JSON object; an ill-formed result is
// reported in `problem`. An "error" member wins over a "result".
RpcAnswer DecodeRpcAnswer(std::string_view text, const DecodeLimits& limits = {});

}  // namespace rt
