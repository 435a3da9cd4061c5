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
// nlohmann::json. Containers may nest at most 64 levels; the text is at most 64 MiB
// unless the caller says otherwise.
#include "platform/runtime/packet_json.h"

#include "platform/runtime/packet_text_writer.h"

#include <simdjson.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

namespace rt {

namespace {

const int kDefaultFieldSize = FieldDef{}.size;

// ---------------------------------------------------------------------------------------
// Rules shared by the writer and the reader.

std::size_t Utf8Length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::string SizeProblem(std::size_t length, int size) {
  return "string of " + std::to_string(length) + " characters exceeds size " + std::to_string(size);
}

std::string RowWidthProblem(std::size_t row_number, std::size_t values, std::size_t fields, const char* part = "") {
  return "row " + std::to_string(row_number) + part + " has " + std::to_string(values) + " values, the packet has " +
         std::to_string(fields) + " fields";
}

std::string FieldWhere(std::size_t row_number, const char* part, const std::string& field) {
  return "row " + std::to_string(row_number) + part + ", field '" + field + "': ";
}

struct FlagName {
  const char* name;
  bool ProviderFlags::*member;
};
constexpr std::array<FlagName, 3> kFlagNames{
    {{"update", &ProviderFlags::in_update}, {"where", &ProviderFlags::in_where}, {"key", &ProviderFlags::in_key}}};

std::optional<RowKind> RowKindFromName(std::string_view name) {
  for (RowKind k : {RowKind::Modified, RowKind::Inserted, RowKind::Deleted})
    if (name == RowKindName(k)) return k;
  return std::nullopt;
}

bool AllNull(const Row& row) {
  for (const Variant& v : row)
    if (!v.IsNull()) return false;
  return true;
}

// ---------------------------------------------------------------------------------------
// Writing.

// What is wrong with `value` as a value of `field`, or "" when it fits.
std::string ValueProblem(const FieldDef& field, const Variant& value) {
  using T = Variant::Type;
  if (value.IsNull()) return {};
  bool fits = false;
  switch (field.type) {
    case FieldType::String:
      if (value.type() == T::String) {
        // Bytes bound the characters: count them only when it can matter.
        const std::string& text = value.AsString();
        if (text.size() <= static_cast<std::size_t>(field.size)) return {};
        const std::size_t length = Utf8Length(text);
        return length > static_cast<std::size_t>(field.size) ? SizeProblem(length, field.size) : std::string();
      }
      break;
    case FieldType::Integer:
      fits = value.type() == T::Integer;
      break;
    case FieldType::Float:
      fits = value.IsNumber();
      break;
    case FieldType::Boolean:
      fits = value.type() == T::Boolean;
      break;
    case FieldType::DateTime:
      fits = value.type() == T::DateTime;
      break;
  }
  return fits ? std::string()
              : std::string("expected ") + FieldTypeName(field.type) + ", got " + TypeName(value.type());
}

// The values ValueProblem passes at a glance (null, a float, a string no longer in bytes
// than its field's characters), told without building a message: nearly every value of
// a large packet is one of them.
inline bool PlainlyFits(const FieldDef& field, const Variant& value) {
  switch (value.type()) {
    case Variant::Type::Null:
      return true;
    case Variant::Type::Float:
      return field.type == FieldType::Float;
    case Variant::Type::String:
      return field.type == FieldType::String && value.AsString().size() <= static_cast<std::size_t>(field.size);
    default:
      return false;
  }
}

// The writer appends JSON text straight to one string: no document is built, and every
// check is made as the value is written, so a value is refused with the same message
// whichever public entry point was used (ToJson parses this text).
class TextWriter {
 public:
  explicit TextWriter(std::string& out) : out_(out) {}

  // `depth`: the containers around the value.
  void Value(const Variant& v, int depth) {
    switch (v.type()) {
      case Variant::Type::Null:
        out_ += "null";
        return;
      case Variant::Type::Boolean:
        out_ += v.AsBool() ? "true" : "false";
        return;
      case Variant::Type::Integer:
        Integer(v.AsInt());
        return;
      case Variant::Type::Float:
        Float(v.AsFloat());
        return;
      case Variant::Type::String:
        String(v.AsString());
        return;
      case Variant::Type::DateTime:
        if (!v.AsDateTime().IsValid()) throw EncodeError("invalid date " + v.AsDateTime().ToIso());
        Level(depth + 1);
        out_ += R"({"$date":")";
        out_ += v.AsDateTime().ToIso();
        out_ += "\"}";
        return;
      case Variant::Type::Array: {
        Level(depth + 1);
        out_ += '[';
        bool first = true;
        for (const Variant& item : v.AsArray()) {
          if (!first) out_ += ',';
          first = false;
          Value(item, depth + 1);
        }
        out_ += ']';
        return;
      }
      case Variant::Type::Packet:
        Packet(v.AsPacket(), depth);
        return;
    }
    throw EncodeError("unknown variant type");
  }

  // `depth`: the containers around {"$packet": ...}. Keys are written in name order.
  void Packet(const DataPacket& p, int depth) {
    if (p.IsDelta() ? !p.rows.empty() : !p.changes.empty())
      throw EncodeError(p.IsDelta() ? "delta packet carries data rows" : "data packet carries delta rows");
    const std::vector<std::size_t> travelling = PacketHead(p.fields, depth);
    for (std::size_t r = 0; r < p.rows.size(); ++r) {
      if (r != 0) out_ += ',';
      Row(p, travelling, p.rows[r], r + 1, "", depth + 3);
    }
    for (std::size_t r = 0; r < p.changes.size(); ++r) {
      if (r != 0) out_ += ',';
      Change(p, travelling, p.changes[r], r + 1, depth + 3);
    }
    PacketTail();
  }

 private:
  friend class rt::PacketTextWriter;

  // {"$packet":{"fields":[...],"rows":[ ; returns the indexes of the fields that travel.
  std::vector<std::size_t> PacketHead(const std::vector<FieldDef>& fields, int depth) {
    Level(depth + 3);  // {"$packet": {"fields": [
    std::vector<std::size_t> travelling;
    out_ += R"({"$packet":{"fields":[)";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].calculated) continue;
      for (std::size_t t : travelling)
        if (fields[t].name == fields[i].name) throw EncodeError("duplicate field '" + fields[i].name + "'");
      if (!travelling.empty()) out_ += ',';
      travelling.push_back(i);
      Field(fields[i], depth + 3);
    }
    if (travelling.size() > static_cast<std::size_t>(kMaxFields))
      throw EncodeError("packet has " + std::to_string(travelling.size()) + " fields, at most " +
                        std::to_string(kMaxFields) + " can travel");
    out_ += R"(],"rows":[)";
    return travelling;
  }

  void PacketTail() {
    out_ += R"(],"version":)";
    Integer(kPacketVersion);
    out_ += "}}";
  }

  static void Level(int level) {
    if (level > kMaxNestingDepth) throw EncodeError("nesting deeper than 64 levels");
  }

  void Integer(std::int64_t n) {
    char buffer[24];
    out_.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, n).ptr);
  }

  // Shortest text that reads back as the same double; an integral value keeps a
  // fraction ("2.0") so that the reader sees a float.
  void Float(double d) {
    if (!std::isfinite(d)) throw EncodeError("a non-finite float (" + Variant(d).Describe() + ") cannot travel");
    if (WriteCents(d)) return;
    char buffer[32];
    char* end = std::to_chars(buffer, buffer + sizeof buffer, d).ptr;
    out_.append(buffer, end);
    if (std::string_view(buffer, end).find_first_of(".e") == std::string_view::npos) out_ += ".0";
  }

  // Most floats that travel are counts and amounts of money: a whole number of cents
  // under 10,000 in size is written from its digits, the same text as the shortest form
  // above (tested over the whole range) without its search. False for any other value.
  bool WriteCents(double d) {
    if (!(d > -1e4 && d < 1e4)) return false;
    const long long cents = std::llround(d * 100);
    if (static_cast<double>(cents) / 100 != d) return false;
    if (cents == 0 && std::signbit(d)) return false;  // "-0.0"
    const unsigned long long size = cents < 0 ? -static_cast<unsigned long long>(cents) : cents;
    char buffer[16];
    char* end = buffer;
    if (cents < 0) *end++ = '-';
    end = std::to_chars(end, buffer + sizeof buffer, size / 100).ptr;
    *end++ = '.';
    *end++ = static_cast<char>('0' + size % 100 / 10);
    if (size % 10 != 0) *end++ = static_cast<char>('0' + size % 10);
    out_.append(buffer, end);
    return true;
  }

  // No byte at or above 0x80 or below 0x20, no quote, no backslash; eight bytes at a
  // time (a byte's flag may be raised wrongly only above a byte rightly flagged, so the
  // answer for a word is exact).
  static bool IsPlainAscii(std::string_view text) {
    constexpr std::uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
    const auto has_byte = [](std::uint64_t word, unsigned char c) {
      const std::uint64_t x = word ^ (kOnes * c);
      return (x - kOnes) & ~x & kHigh;
    };
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, sizeof word);
      const std::uint64_t below_space = (word - kOnes * 0x20) & ~word & kHigh;
      if (((word & kHigh) | below_space | has_byte(word, '"') | has_byte(word, '\\')) != 0) return false;
    }
    bool plain = true;
    for (; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      plain &= (c >= 0x20) & (c < 0x80) & (c != '"') & (c != '\\');
    }
    return plain;
  }

  // A JSON string: the text must be UTF-8; quotes, backslashes and control characters
  // are escaped, everything else is copied as it is.
  void String(std::string_view text) {
    // Plain ASCII (valid UTF-8, nothing to escape: most text) is copied whole; the full
    // check and the escaping run only on the rest.
    if (IsPlainAscii(text)) {
      out_ += '"';
      out_.append(text);
      out_ += '"';
      return;
    }
    if (!simdjson::validate_utf8(text.data(), text.size())) throw EncodeError("a string is not valid UTF-8");
    out_ += '"';
    std::size_t run = 0;  // start of the bytes not yet copied
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c >= 0x20 && c != '"' && c != '\\') continue;
      out_.append(text.data() + run, i - run);
      run = i + 1;
      switch (c) {
        case '"':
          out_ += "\\\"";
          break;
        case '\\':
          out_ += "\\\\";
          break;
        case '\b':
          out_ += "\\b";
          break;
        case '\f':
          out_ += "\\f";
          break;
        case '\n':
          out_ += "\\n";
          break;
        case '\r':
          out_ += "\\r";
          break;
        case '\t':
          out_ += "\\t";
          break;
        default: {
          static constexpr char kHex[] = "0123456789abcdef";
          const char escaped[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
          out_.append(escaped, sizeof escaped);
        }
      }
    }
    out_.append(text.data() + run, text.size() - run);
    out_ += '"';
  }

  void Key(const char* key) {
    out_ += ",\"";
    out_ += key;
    out_ += "\":";
  }

  // `depth`: the containers around the field's object.
  void Field(const FieldDef& f, int depth) {
    if (f.name.empty()) throw EncodeError("a field without a name cannot travel");
    if (f.size < 1 || f.size > kMaxFieldSize)
      throw EncodeError("field '" + f.name + "': size " + std::to_string(f.size) + " is out of range 1.." +
                        std::to_string(kMaxFieldSize));
    if (f.display_width < 0 || f.display_width > kMaxFieldSize)
      throw EncodeError("field '" + f.name + "': display width " + std::to_string(f.display_width) +
                        " is out of range");
    Level(depth + 1);
    if (f.provider_flags != ProviderFlags{}) Level(depth + 2);
    out_ += '{';
    const std::size_t opened = out_.size();
    // Each optional key starts with a comma; the first one written drops it.
    if (f.display_width != 0) Key("displayWidth"), Integer(f.display_width);
    if (!f.edit_mask.empty()) Key("editMask"), String(f.edit_mask);
    if (f.fixed_length) Key("fixedLength"), out_ += "true";
    if (!f.display_label.empty()) Key("label"), String(f.display_label);
    Key("name"), String(f.name);
    if (f.provider_flags != ProviderFlags{}) {
      Key("providerFlags");
      out_ += '[';
      bool first = true;
      for (const FlagName& fn : kFlagNames) {
        if (!(f.provider_flags.*fn.member)) continue;
        out_ += first ? "\"" : ",\"";
        out_ += fn.name;
        out_ += '"';
        first = false;
      }
      out_ += ']';
    }
    if (f.read_only) Key("readOnly"), out_ += "true";
    if (f.required) Key("required"), out_ += "true";
    if (f.type == FieldType::String || f.size != kDefaultFieldSize) Key("size"), Integer(f.size);
    Key("type"), String(FieldTypeName(f.type));
    if (!f.visible) Key("visible"), out_ += "false";
    out_.erase(opened, 1);
    out_ += '}';
  }

  // The values of the travelling fields of one row, checked against their fields.
  // `depth`: the containers around the row's list.
  void Row(const DataPacket& p, const std::vector<std::size_t>& travelling, const rt::Row& row, std::size_t row_number,
           const char* part, int depth) {
    if (row.size() != p.fields.size())
      throw EncodeError(RowWidthProblem(row_number, row.size(), p.fields.size(), part));
    Level(depth + 1);
    out_ += '[';
    for (std::size_t i : travelling) {
      if (!PlainlyFits(p.fields[i], row[i])) {
        const std::string problem = ValueProblem(p.fields[i], row[i]);
        if (!problem.empty()) throw EncodeError(FieldWhere(row_number, part, p.fields[i].name) + problem);
      }
      if (i != travelling.front()) out_ += ',';
      Value(row[i], depth + 1);
    }
    out_ += ']';
  }

  void Change(const DataPacket& p, const std::vector<std::size_t>& travelling, const DeltaRow& d,
              std::size_t row_number, int depth) {
    if (d.kind == RowKind::Inserted && !AllNull(d.old_values))
      throw EncodeError("row " + std::to_string(row_number) + ": an inserted row has old values");
    if (d.kind == RowKind::Deleted && !AllNull(d.new_values))
      throw EncodeError("row " + std::to_string(row_number) + ": a deleted row has new values");
    Level(depth + 1);
    // The old values are checked before the new ones but written after them (keys in
    // name order).
    std::string old_text;
    TextWriter(old_text).Row(p, travelling, d.old_values, row_number, " (old)", depth + 1);
    out_ += R"({"kind":")";
    out_ += RowKindName(d.kind);
    out_ += R"(","new":)";
    Row(p, travelling, d.new_values, row_number, " (new)", depth + 1);
    out_ += R"(,"old":)";
    out_ += old_text;
    out_ += '}';
  }

  std::string& out_;
};

std::string Encode(const auto& write) {
  std::string text;
  text.reserve(256);
  write(TextWriter(text));
  return text;
}

// ---------------------------------------------------------------------------------------
// Reading. One walker, over either parsed form: a Node gives the JSON kind and value of
// one element and visits the members of a container.

// The kinds carry simdjson's tape letters, so that a parsed element tells its kind
// without a translation (a large packet asks every value).
enum class JsonKind : char {
  Null = 'n',
  Bool = 't',
  Int = 'l',
  OutOfRange = 'u',  // an integer only above the int64 range
  Float = 'd',
  String = '"',
  Array = '[',
  Object = '{',
  Other = 0
};

const char* JsonKindName(JsonKind k) {
  switch (k) {
    case JsonKind::Null:
      return "null";
    case JsonKind::Bool:
      return "boolean";
    case JsonKind::Int:
    case JsonKind::OutOfRange:
      return "integer";
    case JsonKind::Float:
      return "float";
    case JsonKind::String:
      return "string";
    case JsonKind::Array:
      return "array";
    case JsonKind::Object:
      return "object";
    case JsonKind::Other:
      break;
  }
  return "binary";
}

class NlohmannNode {
 public:
  explicit NlohmannNode(const nlohmann::json& j) : j_(&j) {}
  JsonKind Kind() const {
    using V = nlohmann::json::value_t;
    switch (j_->type()) {
      case V::null:
        return JsonKind::Null;
      case V::boolean:
        return JsonKind::Bool;
      case V::number_integer:
        return JsonKind::Int;
      case V::number_unsigned:
        return j_->get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? JsonKind::OutOfRange
                   : JsonKind::Int;
      case V::number_float:
        return JsonKind::Float;
      case V::string:
        return JsonKind::String;
      case V::array:
        return JsonKind::Array;
      case V::object:
        return JsonKind::Object;
      default:
        return JsonKind::Other;
    }
  }
  bool Bool() const { return j_->get<bool>(); }
  std::int64_t Int() const { return j_->get<std::int64_t>(); }
  double Float() const { return j_->get<double>(); }
  std::string_view Str() const { return j_->get_ref<const std::string&>(); }
  std::string NumberText() const { return j_->dump(); }
  std::size_t Size() const { return j_->size(); }
  template <class F>
  void ForEachItem(F&& f) const {
    for (const auto& item : *j_) f(NlohmannNode(item));
  }
  template <class F>
  void ForEachMember(F&& f) const {
    for (const auto& [key, value] : j_->items()) f(std::string_view(key), NlohmannNode(value));
  }

 private:
  const nlohmann::json* j_;
};

// Inlined by force: a large packet asks each of its values for its kind and content,
// and a call per question was a tenth of a decode.
#define ALLOC_HOT [[gnu::always_inline]] inline
class SimdNode {
 public:
  explicit SimdNode(simdjson::dom::element e) : e_(e) {}
  ALLOC_HOT JsonKind Kind() const {
    using T = simdjson::dom::element_type;
    static_assert(static_cast<char>(T::NULL_VALUE) == static_cast<char>(JsonKind::Null) &&
                  static_cast<char>(T::BOOL) == static_cast<char>(JsonKind::Bool) &&
                  static_cast<char>(T::INT64) == static_cast<char>(JsonKind::Int) &&
                  static_cast<char>(T::UINT64) == static_cast<char>(JsonKind::OutOfRange) &&
                  static_cast<char>(T::DOUBLE) == static_cast<char>(JsonKind::Float) &&
                  static_cast<char>(T::STRING) == static_cast<char>(JsonKind::String) &&
                  static_cast<char>(T::ARRAY) == static_cast<char>(JsonKind::Array) &&
                  static_cast<char>(T::OBJECT) == static_cast<char>(JsonKind::Object));
    return static_cast<JsonKind>(e_.type());
  }
  ALLOC_HOT bool Bool() const { return e_.get_bool().value_unsafe(); }
  ALLOC_HOT std::int64_t Int() const { return e_.get_int64().value_unsafe(); }
  ALLOC_HOT double Float() const { return e_.get_double().value_unsafe(); }
  ALLOC_HOT std::string_view Str() const { return e_.get_string().value_unsafe(); }
  std::string NumberText() const { return std::to_string(e_.get_uint64().value_unsafe()); }
  simdjson::dom::element Element() const { return e_; }
  std::size_t Size() const {
    return e_.is_array() ? e_.get_array().value_unsafe().size() : e_.get_object().value_unsafe().size();
  }
  template <class F>
  void ForEachItem(F&& f) const {
    simdjson::dom::array items;
    if (e_.get(items)) return;  // not reached: the reader asks only arrays for items
    for (simdjson::dom::element item : items) f(SimdNode(item));
  }
  template <class F>
  void ForEachMember(F&& f) const {
    simdjson::dom::object members;
    if (e_.get(members)) return;  // not reached: the reader asks only objects for members
    for (simdjson::dom::key_value_pair kv : members) f(kv.key, SimdNode(kv.value));
  }

 private:
  simdjson::dom::element e_;
};

// Text from the wire in a message: cut short whatever its length, and never inside a
// UTF-8 character, so that the message itself stays valid UTF-8 when it travels on.
std::string Quoted(std::string_view s) {
  constexpr std::size_t kShown = 40;
  if (s.size() <= kShown) return "'" + std::string(s) + "'";
  std::size_t cut = kShown;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  return "'" + std::string(s.substr(0, cut)) + "...'";
}

[[noreturn]] void Fail(const std::string& message) { throw DecodeError(message); }

// Gathers the members of an object into named slots, refusing duplicates and unknown
// keys; `what` names the object in messages.
template <class Node, std::size_t N>
std::array<std::optional<Node>, N> Members(const Node& object, const std::array<const char*, N>& keys,
                                           const std::string& what) {
  std::array<std::optional<Node>, N> slots;
  object.ForEachMember([&](std::string_view key, const Node& value) {
    for (std::size_t i = 0; i < N; ++i) {
      if (key != keys[i]) continue;
      if (slots[i]) Fail(what + ": duplicate key " + Quoted(key));
      slots[i] = value;
      return;
    }
    Fail(what + ": unknown key " + Quoted(key));
  });
  return slots;
}

template <class Node>
class Reader {
 public:
  // `depth`: the containers around `n`.
  Variant Value(const Node& n, int depth) {
    switch (n.Kind()) {
      case JsonKind::Null:
        return {};
      case JsonKind::Bool:
        return n.Bool();
      case JsonKind::Int:
        return n.Int();
      case JsonKind::Float:
        return n.Float();
      case JsonKind::String:
        return Variant(n.Str());
      case JsonKind::Array: {
        Enter(depth);
        VariantArray items;
        items.reserve(n.Size());
        n.ForEachItem([&](const Node& item) { items.push_back(Value(item, depth + 1)); });
        return items;
      }
      case JsonKind::Object:
        return Tagged(n, depth);
      case JsonKind::OutOfRange:
        Fail("integer " + n.NumberText() + " is out of range");
      case JsonKind::Other:
        break;
    }
    Fail("binary values are not variants");
  }

  DataPacket Packet(const Node& n, int depth) {
    if (n.Kind() != JsonKind::Object) Fail(std::string("expected a packet, got ") + JsonKindName(n.Kind()));
    Enter(depth);
    auto [key, body] = OnlyMember(n);
    if (key != "$packet") Fail("expected a packet, got an object with key " + Quoted(key));
    return PacketBody(body, depth + 1);
  }

 private:
  static void Enter(int depth) {
    if (depth + 1 > kMaxNestingDepth) Fail("nesting deeper than 64 levels");
  }

  static std::pair<std::string_view, Node> OnlyMember(const Node& object) {
    std::optional<std::pair<std::string_view, Node>> only;
    std::size_t count = 0;
    object.ForEachMember([&](std::string_view key, const Node& value) {
      if (++count == 1) only.emplace(key, value);
    });
    if (count != 1)
      Fail("an object with " + std::to_string(count) +
           " keys is not a variant (expected {\"$date\":...} or {\"$packet\":...})");
    return *only;
  }

  // {"$date":...} or {"$packet":...}
  Variant Tagged(const Node& n, int depth) {
    Enter(depth);
    auto [key, value] = OnlyMember(n);
    if (key == "$date") return Date(value);
    if (key == "$packet") return PacketBody(value, depth + 1);
    Fail("an object with key " + Quoted(key) + " is not a variant (expected \"$date\" or \"$packet\")");
  }

  static DateTime Date(const Node& n) {
    if (n.Kind() != JsonKind::String) Fail(std::string("$date: expected a string, got ") + JsonKindName(n.Kind()));
    DateTime d;
    if (!DateTime::FromIso(std::string(n.Str()), d)) Fail("invalid date " + Quoted(n.Str()));
    return d;
  }

  DataPacket PacketBody(const Node& n, int depth) {
    if (n.Kind() != JsonKind::Object) Fail(std::string("$packet: expected an object, got ") + JsonKindName(n.Kind()));
    Enter(depth);
    const auto m = Members(n, std::array<const char*, 3>{"version", "fields", "rows"}, std::string("packet"));
    const std::optional<Node>& version = m[0];
    const std::optional<Node>& fields = m[1];
    const std::optional<Node>& rows = m[2];
    if (!version) Fail("packet without version");
    if (version->Kind() != JsonKind::Int) Fail("packet version is not an integer");
    if (version->Int() != kPacketVersion) Fail("unsupported packet version " + std::to_string(version->Int()));
    if (!fields || fields->Kind() != JsonKind::Array) Fail("packet without a list of fields");
    if (!rows || rows->Kind() != JsonKind::Array) Fail("packet without a list of rows");
    Enter(depth + 1);  // both lists

    DataPacket p;
    if (fields->Size() > static_cast<std::size_t>(kMaxFields))
      Fail("packet has " + std::to_string(fields->Size()) + " fields, at most " + std::to_string(kMaxFields) +
           " are allowed");
    p.fields.reserve(fields->Size());
    fields->ForEachItem([&](const Node& f) {
      p.fields.push_back(Field(f, p.fields.size() + 1, depth + 2));
      for (std::size_t i = 0; i + 1 < p.fields.size(); ++i)
        if (p.fields[i].name == p.fields.back().name) Fail("duplicate field " + Quoted(p.fields.back().name));
    });

    std::size_t row_number = 0;
    rows->ForEachItem([&](const Node& r) {
      ++row_number;
      const JsonKind kind = r.Kind();
      if (row_number == 1 && kind == JsonKind::Object) p.kind = DataPacket::Kind::Delta;
      if (p.IsDelta()) {
        if (kind != JsonKind::Object)
          Fail("row " + std::to_string(row_number) + ": expected a delta row object like row 1, got " +
               JsonKindName(kind));
        if (p.changes.empty()) p.changes.reserve(rows->Size());
        p.changes.push_back(Change(r, p.fields, row_number, depth + 2));
      } else {
        if (kind != JsonKind::Array)
          Fail("row " + std::to_string(row_number) + ": expected a list of values, got " + JsonKindName(kind));
        if (p.rows.empty()) p.rows.reserve(rows->Size());
        p.rows.push_back(Values(r, p.fields, row_number, "", depth + 2));
      }
    });
    return p;
  }

  static FieldDef Field(const Node& n, std::size_t number, int depth) {
    std::string what = "field " + std::to_string(number);
    if (n.Kind() != JsonKind::Object) Fail(what + ": expected an object, got " + JsonKindName(n.Kind()));
    Enter(depth);
    static constexpr std::array<const char*, 11> kKeys{"name",         "type",     "size",         "label",
                                                       "displayWidth", "visible",  "readOnly",     "required",
                                                       "fixedLength",  "editMask", "providerFlags"};
    // Name first, so that every later message names the field.
    std::optional<Node> name_node;
    n.ForEachMember([&](std::string_view key, const Node& value) {
      if (key == "name") name_node = value;
    });
    if (!name_node) Fail(what + " has no name");
    FieldDef f;
    f.name = String(*name_node, what + ": name");
    if (f.name.empty()) Fail(what + " has an empty name");
    what = "field " + Quoted(f.name);
    const auto m = Members(n, kKeys, what);

    if (!m[1]) Fail(what + " has no type");
    const std::string type = String(*m[1], what + ": type");
    const auto field_type = FieldTypeFromName(type);
    if (!field_type) Fail(what + ": unknown type " + Quoted(type));
    f.type = *field_type;
    if (m[2]) {
      f.size = Bounded(*m[2], what + ": size", 1);
    } else if (f.type == FieldType::String) {
      Fail(what + ": a string field needs a size");
    }
    if (m[3]) f.display_label = String(*m[3], what + ": label");
    if (m[4]) f.display_width = Bounded(*m[4], what + ": displayWidth", 0);
    if (m[5]) f.visible = Bool(*m[5], what + ": visible");
    if (m[6]) f.read_only = Bool(*m[6], what + ": readOnly");
    if (m[7]) f.required = Bool(*m[7], what + ": required");
    if (m[8]) f.fixed_length = Bool(*m[8], what + ": fixedLength");
    if (m[9]) f.edit_mask = String(*m[9], what + ": editMask");
    if (m[10]) f.provider_flags = Flags(*m[10], what + ": providerFlags", depth + 1);
    return f;
  }

  static std::string String(const Node& n, const std::string& what) {
    if (n.Kind() != JsonKind::String) Fail(what + ": expected a string, got " + JsonKindName(n.Kind()));
    return std::string(n.Str());
  }
  static bool Bool(const Node& n, const std::string& what) {
    if (n.Kind() != JsonKind::Bool) Fail(what + ": expected a boolean, got " + JsonKindName(n.Kind()));
    return n.Bool();
  }
  // An integer in min..kMaxFieldSize.
  static int Bounded(const Node& n, const std::string& what, int min) {
    const JsonKind k = n.Kind();
    if (k == JsonKind::OutOfRange || (k == JsonKind::Int && n.Int() > kMaxFieldSize))
      Fail(what + " " + (k == JsonKind::Int ? std::to_string(n.Int()) : n.NumberText()) + " is huge (at most " +
           std::to_string(kMaxFieldSize) + ")");
    if (k != JsonKind::Int) Fail(what + ": expected an integer, got " + JsonKindName(k));
    if (n.Int() < min) Fail(what + " " + std::to_string(n.Int()) + " is below " + std::to_string(min));
    return static_cast<int>(n.Int());
  }
  static ProviderFlags Flags(const Node& n, const std::string& what, int depth) {
    if (n.Kind() != JsonKind::Array) Fail(what + ": expected a list, got " + JsonKindName(n.Kind()));
    Enter(depth);
    ProviderFlags flags = ProviderFlags::NotApplied();
    n.ForEachItem([&](const Node& item) {
      const std::string name = String(item, what);
      for (const FlagName& fn : kFlagNames) {
        if (name != fn.name) continue;
        if (flags.*fn.member) Fail(what + ": " + Quoted(name) + " given twice");
        flags.*fn.member = true;
        return;
      }
      Fail(what + ": unknown flag " + Quoted(name));
    });
    return flags;
  }

  DeltaRow Change(const Node& n, const std::vector<FieldDef>& fields, std::size_t row_number, int depth) {
    Enter(depth);
    const std::string what = "row " + std::to_string(row_number);
    const auto m = Members(n, std::array<const char*, 3>{"kind", "old", "new"}, what);
    const std::optional<Node>& kind = m[0];
    const std::optional<Node>& old_values = m[1];
    const std::optional<Node>& new_values = m[2];
    if (!kind || !old_values || !new_values) Fail(what + ": a delta row needs \"kind\", \"old\" and \"new\"");
    const std::string kind_name = String(*kind, what + ": kind");
    const auto row_kind = RowKindFromName(kind_name);
    if (!row_kind) Fail(what + ": unknown kind " + Quoted(kind_name));
    DeltaRow d{*row_kind, Values(*old_values, fields, row_number, " (old)", depth + 1),
               Values(*new_values, fields, row_number, " (new)", depth + 1)};
    if (d.kind == RowKind::Inserted && !AllNull(d.old_values)) Fail(what + ": an inserted row has old values");
    if (d.kind == RowKind::Deleted && !AllNull(d.new_values)) Fail(what + ": a deleted row has new values");
    return d;
  }

  // One value per field, each fitting its field. `part` tells old from new in a delta.
  Row Values(const Node& n, const std::vector<FieldDef>& fields, std::size_t row_number, const char* part, int depth) {
    if (n.Kind() != JsonKind::Array)
      Fail("row " + std::to_string(row_number) + part + ": expected a list of values, got " + JsonKindName(n.Kind()));
    Enter(depth);
    const std::size_t width = n.Size();
    if (width != fields.size()) Fail(RowWidthProblem(row_number, width, fields.size(), part));
    Row row;
    row.reserve(width);
    std::size_t column = 0;
    n.ForEachItem(
        [&](const Node& item) { AppendFieldValue(row, item, fields[column++], depth + 1, row_number, part); });
    return row;
  }

  // Appends the value of field `f` to `row`, built in place (a large packet is mostly
  // this loop).
  void AppendFieldValue(Row& row, const Node& n, const FieldDef& f, int depth, std::size_t row_number,
                        const char* part) {
    const JsonKind k = n.Kind();
    if (k == JsonKind::Null) {
      row.emplace_back();
      return;
    }
    if (k == JsonKind::OutOfRange)
      Fail(FieldWhere(row_number, part, f.name) + "integer " + n.NumberText() + " is out of range");
    switch (f.type) {
      case FieldType::String:
        if (k == JsonKind::String) {
          const std::string_view s = n.Str();
          // Bytes bound the characters: count them only when it can matter.
          if (s.size() > static_cast<std::size_t>(f.size) && Utf8Length(s) > static_cast<std::size_t>(f.size))
            Fail(FieldWhere(row_number, part, f.name) + SizeProblem(Utf8Length(s), f.size));
          row.emplace_back(s);
          return;
        }
        break;
      case FieldType::Integer:
        if (k == JsonKind::Int) {
          row.emplace_back(n.Int());
          return;
        }
        break;
      case FieldType::Float:
        if (k == JsonKind::Float || k == JsonKind::Int) {
          row.emplace_back(k == JsonKind::Float ? n.Float() : static_cast<double>(n.Int()));
          return;
        }
        break;
      case FieldType::Boolean:
        if (k == JsonKind::Bool) {
          row.emplace_back(n.Bool());
          return;
        }
        break;
      case FieldType::DateTime:
        if (k == JsonKind::Object) {
          Enter(depth);
          auto [key, value] = OnlyMember(n);
          if (key == "$date") {
            row.emplace_back(Date(value));
            return;
          }
        }
        break;
    }
    Fail(FieldWhere(row_number, part, f.name) + "expected " + FieldTypeName(f.type) + ", got " +
         (k == JsonKind::Object ? "an object" : JsonKindName(k)));
  }
};

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

// Parses `text` and hands the root to `read`, all within one parser's lifetime.
template <class F>
auto WithParsedText(JsonText source, const DecodeLimits& limits, F&& read) {
  const std::string_view text = source.Text();
  if (text.size() > limits.max_text_bytes)
    Fail("text of " + std::to_string(text.size()) + " bytes exceeds the limit of " +
         std::to_string(limits.max_text_bytes) + " bytes");
  // One parser and one padded copy of the text per thread keep their memory from call
  // to call (simdjson reads a few bytes past the end); a huge text's buffers are
  // released after use rather than held for the life of the thread. A text with room
  // for those bytes after it is not copied.
  thread_local simdjson::dom::parser parser;
  thread_local std::string padded;
  constexpr std::size_t kKeptCapacity = 8u << 20;
  struct Release {
    std::size_t size;
    ~Release() {
      if (size <= kKeptCapacity) return;
      parser = simdjson::dom::parser();
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

std::string EncodeVariant(const Variant& value) {
  return Encode([&](TextWriter&& w) { w.Value(value, 0); });
}
void EncodeVariantTo(std::string& out, const Variant& value) { TextWriter(out).Value(value, 0); }
std::string EncodePacket(const DataPacket& packet) {
  return Encode([&](TextWriter&& w) { w.Packet(packet, 0); });
}
// The DOM is read back from the one writer's text, so that both forms follow the same
// rules and checks.
nlohmann::json ToJson(const Variant& value) { return nlohmann::json::parse(EncodeVariant(value)); }
nlohmann::json ToJson(const DataPacket& packet) { return nlohmann::json::parse(EncodePacket(packet)); }

Variant VariantFromJson(const nlohmann::json& json) { return Reader<NlohmannNode>().Value(NlohmannNode(json), 0); }
DataPacket PacketFromJson(const nlohmann::json& json) { return Reader<NlohmannNode>().Packet(NlohmannNode(json), 0); }

Variant DecodeVariant(JsonText text, const DecodeLimits& limits) {
  return WithParsedText(text, limits, [](const SimdNode& root) { return Reader<SimdNode>().Value(root, 0); });
}
DataPacket DecodePacket(JsonText text, const DecodeLimits& limits) {
  return WithParsedText(text, limits, [](const SimdNode& root) { return Reader<SimdNode>().Packet(root, 0); });
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
Variant JsonNode::ToVariant() const { return Reader<SimdNode>().Value(JsonNodeAccess::Simd(*this), 0); }

void ReadJsonText(JsonText text, const DecodeLimits& limits, const std::function<void(const JsonNode&)>& read) {
  WithParsedText(text, limits, [&](const SimdNode& root) { read(JsonNodeAccess::Of(root.Element())); });
}

}  // namespace rt

namespace rt {

PacketTextWriter::PacketTextWriter(std::string& out, const std::vector<FieldDef>& fields, int depth)
    : out_(out), fields_(fields), depth_(depth), travels_(fields.size(), false) {
  for (std::size_t i : TextWriter(out_).PacketHead(fields, depth)) travels_[i] = true;
}

void PacketTextWriter::BeginRow() {
  TextWriter::Level(depth_ + 4);
  if (rows_++ != 0) out_ += ',';
  out_ += '[';
  column_ = 0;
  first_in_row_ = true;
}

const FieldDef* PacketTextWriter::NextField() {
  if (column_ >= fields_.size()) throw EncodeError(RowWidthProblem(rows_, column_ + 1, fields_.size()));
  const std::size_t i = column_++;
  if (!travels_[i]) return nullptr;
  if (!first_in_row_) out_ += ',';
  first_in_row_ = false;
  return &fields_[i];
}

void PacketTextWriter::Null() {
  if (NextField() != nullptr) out_ += "null";
}

void PacketTextWriter::Float(double value) {
  const FieldDef* field = NextField();
  if (field == nullptr) return;
  if (field->type != FieldType::Float) return Checked(*field, value);  // the encoder's refusal
  TextWriter(out_).Float(value);
}

void PacketTextWriter::String(std::string_view text) {
  const FieldDef* field = NextField();
  if (field == nullptr) return;
  if (field->type != FieldType::String || text.size() > static_cast<std::size_t>(field->size)) {
    const std::string problem = ValueProblem(*field, Variant(text));
    if (!problem.empty()) throw EncodeError(FieldWhere(rows_, "", field->name) + problem);
  }
  TextWriter(out_).String(text);
}

void PacketTextWriter::Value(const Variant& value) {
  const FieldDef* field = NextField();
  if (field != nullptr) Checked(*field, value);
}

void PacketTextWriter::Checked(const FieldDef& field, const Variant& value) {
  const std::string problem = ValueProblem(field, value);
  if (!problem.empty()) throw EncodeError(FieldWhere(rows_, "", field.name) + problem);
  TextWriter(out_).Value(value, depth_ + 4);
}

void PacketTextWriter::EndRow() {
  if (column_ != fields_.size()) throw EncodeError(RowWidthProblem(rows_, column_, fields_.size()));
  out_ += ']';
}

void PacketTextWriter::Finish() { TextWriter(out_).PacketTail(); }

}  // namespace rt
