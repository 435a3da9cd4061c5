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
#include <cstdint>
#include <functional>
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

// A text to read. One held in a std::string with room after its bytes for the parser's
// look-ahead (a string grown by appending nearly always has it) is parsed where it is;
// any other text is first copied into a padded buffer.
class JsonText {
 public:
  JsonText(const char* text) : text_(text) {}
  JsonText(std::string_view text) : text_(text) {}
  JsonText(const std::string& text) : text_(text), room_(text.capacity() - text.size()) {}
  std::string_view Text() const { return text_; }
  std::size_t Room() const { return room_; }  // bytes that may be read after the text

 private:
  std::string_view text_;
  std::size_t room_ = 0;
};

// Variants.
nlohmann::json ToJson(const Variant& value);
Variant VariantFromJson(const nlohmann::json& json);
std::string EncodeVariant(const Variant& value);
// Appends what EncodeVariant returns to `out` (a large answer is written once, in place);
// after an EncodeError `out` ends with a partial text.
void EncodeVariantTo(std::string& out, const Variant& value);
Variant DecodeVariant(JsonText text, const DecodeLimits& limits = {});

// Data packets (a variant that must be a packet).
nlohmann::json ToJson(const DataPacket& packet);
DataPacket PacketFromJson(const nlohmann::json& json);
std::string EncodePacket(const DataPacket& packet);
DataPacket DecodePacket(JsonText text, const DecodeLimits& limits = {});

// A value of a JSON text parsed by ReadJsonText, for readers of an envelope around
// variants (the client's JSON-RPC answer reader): they walk the envelope themselves and
// read the variants in it with ToVariant, under the checks and messages of DecodeVariant.
// A node is valid only inside the ReadJsonText call that made it.
class JsonNode {
 public:
  bool IsObject() const;
  bool IsArray() const;
  std::optional<std::int64_t> Int() const;  // when it is an integer within 64 bits
  std::optional<std::string_view> String() const;
  const char* KindName() const;  // "object", "array", "string", ... for messages
  std::size_t Size() const;      // items of an array, members of an object
  void ForEachItem(const std::function<void(const JsonNode&)>& visit) const;
  void ForEachMember(const std::function<void(std::string_view key, const JsonNode& value)>& visit) const;
  // The node as a whole variant: nesting is counted from here, not from the text's root.
  Variant ToVariant() const;

 private:
  friend struct JsonNodeAccess;
  // The parser's element, held by value so that a node may be kept while walking; its
  // size and trivial copy are checked where it is defined (packet_json.cpp), which keeps
  // the parser's header out of this one.
  alignas(8) unsigned char element_[16];
};

// Parses `text` once (the size limit and the syntax messages of DecodeVariant, which
// throw DecodeError) and hands its root to `read`.
void ReadJsonText(JsonText text, const DecodeLimits& limits, const std::function<void(const JsonNode&)>& read);

}  // namespace rt
