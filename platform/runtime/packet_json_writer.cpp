// Writing the JSON form (packet_json.cpp describes it): EncodeVariant, EncodePacket and
// ToJson, and the row-at-a-time PacketTextWriter, all through one text writer.
#include "platform/runtime/packet_json.h"
#include "platform/runtime/packet_json_form.h"
#include "platform/runtime/packet_text_writer.h"

#include <simdjson.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace rt {

namespace {

using packet_json::AllNull;
using packet_json::FieldWhere;
using packet_json::FitsSize;
using packet_json::FlagName;
using packet_json::kDefaultFieldSize;
using packet_json::kFlagNames;
using packet_json::RowWidthProblem;
using packet_json::SizeProblem;
using packet_json::Utf8Length;

// What is wrong with `value` as a value of `field`, or "" when it fits.
std::string ValueProblem(const FieldDef& field, const Variant& value) {
  using T = Variant::Type;
  if (value.IsNull()) return {};
  bool fits = false;
  switch (field.type) {
    case FieldType::String:
      if (value.type() == T::String) {
        const std::string& text = value.AsString();
        return FitsSize(text, field.size) ? std::string() : SizeProblem(Utf8Length(text), field.size);
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
  friend class rt::PacketLayout;
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

PacketLayout::PacketLayout(std::vector<FieldDef> fields, int depth)
    : fields_(std::move(fields)), depth_(depth), travels_(fields_.size(), false) {
  for (std::size_t i : TextWriter(head_).PacketHead(fields_, depth_)) travels_[i] = true;
}

PacketTextWriter::PacketTextWriter(std::string& out, const PacketLayout& layout) : out_(out), layout_(layout) {
  out_ += layout.head_;
}

void PacketTextWriter::BeginRow() {
  TextWriter::Level(layout_.depth_ + 4);
  if (rows_++ != 0) out_ += ',';
  out_ += '[';
  column_ = 0;
  first_in_row_ = true;
}

const FieldDef* PacketTextWriter::NextField() {
  if (column_ >= layout_.fields_.size()) throw EncodeError(RowWidthProblem(rows_, column_ + 1, layout_.fields_.size()));
  const std::size_t i = column_++;
  if (!layout_.travels_[i]) return nullptr;
  if (!first_in_row_) out_ += ',';
  first_in_row_ = false;
  return &layout_.fields_[i];
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
  TextWriter(out_).Value(value, layout_.depth_ + 4);
}

void PacketTextWriter::EndRow() {
  if (column_ != layout_.fields_.size()) throw EncodeError(RowWidthProblem(rows_, column_, layout_.fields_.size()));
  out_ += ']';
}

void PacketTextWriter::Finish() { TextWriter(out_).PacketTail(); }

}  // namespace rt
