// The JSON form of variants and data packets.
//
// Variant
//   null, true/false, integer, float  as themselves. An integer is written without a
//                                      fraction; a float always with one ("2.0"), so
//                                      the reader keeps integers and floats apart.
//                                      Non-finite floats cannot be written.
//   string                            a JSON string (UTF-8).
//   array of variants                 a JSON array.
//   date-time                         {"$date":"YYYY-MM-DDTHH:MM:SS"}, a valid calendar date.
//   data packet                       {"$packet": <packet>}
//   Any other object is refused.
//
// Packet
//   {"version":1, "fields":[<field>...], "rows":[<row>...]}  all three keys required,
//   no other key; at most 1024 fields.
//
// Field
//   "name"          string, required, not empty, unique within the packet
//   "type"          "string" | "integer" | "float" | "boolean" | "datetime", required
//   "size"          characters, 1..1000000; required for "string", written for another
//                   type only when it is not the default (20)
//   "label"         display label; omitted when empty
//   "displayWidth"  0..1000000; omitted when 0
//   "visible"       boolean; omitted when true
//   "readOnly", "required", "fixedLength"   booleans; omitted when false
//   "editMask"      string; omitted when empty
//   "providerFlags" list of distinct "update", "where", "key"; omitted when it is the
//                   default ["update","where"]; [] means the field is not applied
//   No other key. Calculated fields never travel: the writer drops them and their values.
//
// Row of a data packet: [v1, ..., vN], one value per field in field order.
// Row of a delta packet: {"kind":"modified"|"inserted"|"deleted","old":[...],"new":[...]},
//   each list one value per field; "old" all null for an inserted row, "new" all null
//   for a deleted one. A reader tells a delta by its rows being objects; a packet with
//   no rows reads as a data packet.
//
// Value of a field: null, or the field's type: a JSON string (at most `size`
//   characters, counted as UTF-8 code points) for "string", an integer for "integer",
//   a float or an integer (read as a float) for "float", true/false for "boolean", a
//   {"$date":...} object for "datetime".
//
// Reading: the text is parsed by simdjson (the bulk of the cost is then building the
// values); the checks walk the parsed document with the same code as for an
// nlohmann::json, except that a packet's rows are first tried straight off simdjson's
// tape and left to that walk at the first value that does not plainly fit its field.
// Containers may nest at most 64 levels; the text is at most 64 MiB unless the caller
// says otherwise.
//
// This file holds the public entry points of reading and the JsonNode view; the writer is
// packet_json_writer.cpp, the checked reader packet_json_reader.h over the node adapters
// of packet_json_nodes.h, and the rules both sides share packet_json_form.h.
#include "platform/runtime/packet_json.h"

#include "platform/runtime/packet_json_nodes.h"
#include "platform/runtime/packet_json_reader.h"

#include <simdjson.h>

#include <cstring>
#include <optional>
#include <type_traits>

namespace rt {

namespace {

using packet_json::Fail;
using packet_json::JsonKind;
using packet_json::JsonKindName;
using packet_json::NlohmannNode;
using packet_json::Reader;
using packet_json::SimdNode;

// A located message for text that simdjson refused ("line 1, column 17: ..."), from
// nlohmann's parser, which is iterative and so safe on any depth; empty when it accepts.
std::string SyntaxMessage(std::string_view text) {
  struct Locator : nlohmann::json_sax<nlohmann::json> {
    std::string message;
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
      message = e.what();
      return false;
    }
  } locator;
  nlohmann::json::sax_parse(text, &locator);
  const std::size_t tag_end = locator.message.find("] ");  // drop "[json.exception.parse_error.101] "
  return tag_end == std::string::npos ? locator.message : locator.message.substr(tag_end + 2);
}

// One parser per thread keeps its memory from call to call; its document is the one every
// node of the text being read is on.
simdjson::dom::parser& ThreadParser() {
  thread_local simdjson::dom::parser parser;
  return parser;
}

// Parses `text` and hands the root to `read`, all within one parser's lifetime.
template <class F>
auto WithParsedText(JsonText source, const DecodeLimits& limits, F&& read) {
  const std::string_view text = source.Text();
  if (text.size() > limits.max_text_bytes)
    Fail("text of " + std::to_string(text.size()) + " bytes exceeds the limit of " +
         std::to_string(limits.max_text_bytes) + " bytes");
  // The thread's parser and one padded copy of the text per thread keep their memory
  // from call to call (simdjson reads a few bytes past the end); a huge text's buffers
  // are released after use rather than held for the life of the thread. A text with room
  // for those bytes after it is not copied.
  simdjson::dom::parser& parser = ThreadParser();
  thread_local std::string padded;
  constexpr std::size_t kKeptCapacity = 8u << 20;
  struct Release {
    std::size_t size;
    ~Release() {
      if (size <= kKeptCapacity) return;
      ThreadParser() = simdjson::dom::parser();
      std::string().swap(padded);
    }
  } release{text.size()};
  const char* bytes = text.data();
  if (source.Room() < simdjson::SIMDJSON_PADDING) {
    padded.reserve(text.size() + simdjson::SIMDJSON_PADDING);
    padded.assign(text);
    bytes = padded.data();
  }

  simdjson::dom::element root;
  const simdjson::error_code error = parser.parse(bytes, text.size(), false).get(root);
  if (error == simdjson::DEPTH_ERROR) Fail("nesting deeper than 64 levels");
  if (error) {
    const std::string located = error == simdjson::MEMALLOC ? "" : SyntaxMessage(text);
    Fail("invalid JSON: " + (located.empty() ? std::string(simdjson::error_message(error)) : located));
  }
  return read(SimdNode(root));
}

}  // namespace

Variant VariantFromJson(const nlohmann::json& json) { return Reader<NlohmannNode>().Value(NlohmannNode(json), 0); }
DataPacket PacketFromJson(const nlohmann::json& json) { return Reader<NlohmannNode>().Packet(NlohmannNode(json), 0); }

// The readers of parsed text read the rows of packets off the thread parser's tape where
// they plainly fit (packet_json_tape.h).
Variant DecodeVariant(JsonText text, const DecodeLimits& limits) {
  return WithParsedText(text, limits,
                        [](const SimdNode& root) { return Reader<SimdNode>(&ThreadParser().doc).Value(root, 0); });
}
DataPacket DecodePacket(JsonText text, const DecodeLimits& limits) {
  return WithParsedText(text, limits,
                        [](const SimdNode& root) { return Reader<SimdNode>(&ThreadParser().doc).Packet(root, 0); });
}

struct JsonNodeAccess {
  static_assert(sizeof(simdjson::dom::element) == sizeof(JsonNode::element_) &&
                alignof(simdjson::dom::element) <= alignof(JsonNode) &&
                std::is_trivially_copyable_v<simdjson::dom::element>);
  static JsonNode Of(simdjson::dom::element element) {
    JsonNode node;
    std::memcpy(node.element_, &element, sizeof element);
    return node;
  }
  static SimdNode Simd(const JsonNode& node) {
    simdjson::dom::element element;
    std::memcpy(&element, node.element_, sizeof element);
    return SimdNode(element);
  }
};

namespace {
JsonKind KindOf(const JsonNode& node) { return JsonNodeAccess::Simd(node).Kind(); }
}  // namespace

bool JsonNode::IsObject() const { return KindOf(*this) == JsonKind::Object; }
bool JsonNode::IsArray() const { return KindOf(*this) == JsonKind::Array; }
std::optional<std::int64_t> JsonNode::Int() const {
  if (KindOf(*this) != JsonKind::Int) return std::nullopt;
  return JsonNodeAccess::Simd(*this).Int();
}
std::optional<std::string_view> JsonNode::String() const {
  if (KindOf(*this) != JsonKind::String) return std::nullopt;
  return JsonNodeAccess::Simd(*this).Str();
}
const char* JsonNode::KindName() const { return JsonKindName(KindOf(*this)); }
std::size_t JsonNode::Size() const {
  const SimdNode node = JsonNodeAccess::Simd(*this);
  const JsonKind kind = node.Kind();
  return kind == JsonKind::Array || kind == JsonKind::Object ? node.Size() : 0;
}
void JsonNode::ForEachItem(const std::function<void(const JsonNode&)>& visit) const {
  if (!IsArray()) return;
  JsonNodeAccess::Simd(*this).ForEachItem([&](const SimdNode& item) { visit(JsonNodeAccess::Of(item.Element())); });
}
void JsonNode::ForEachMember(const std::function<void(std::string_view, const JsonNode&)>& visit) const {
  if (!IsObject()) return;
  JsonNodeAccess::Simd(*this).ForEachMember(
      [&](std::string_view key, const SimdNode& value) { visit(key, JsonNodeAccess::Of(value.Element())); });
}
Variant JsonNode::ToVariant() const {
  return Reader<SimdNode>(&ThreadParser().doc).Value(JsonNodeAccess::Simd(*this), 0);
}

void ReadJsonText(JsonText text, const DecodeLimits& limits, const std::function<void(const JsonNode&)>& read) {
  WithParsedText(text, limits, [&](const SimdNode& root) { read(JsonNodeAccess::Of(root.Element())); });
}

}  // namespace rt
