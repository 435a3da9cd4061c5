// The checked reader of the JSON form (packet_json.cpp describes it), over either parsed
// form (packet_json_nodes.h): every check, and every message of a DecodeError, is made
// here.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/runtime/packet.h"
#include "platform/runtime/packet_json.h"
#include "platform/runtime/packet_json_form.h"
#include "platform/runtime/packet_json_nodes.h"
#include "platform/runtime/packet_json_tape.h"
#include "platform/runtime/variant.h"

namespace rt::packet_json {

// Text from the wire in a message: cut short whatever its length, and never inside a
// UTF-8 character, so that the message itself stays valid UTF-8 when it travels on.
inline std::string Quoted(std::string_view s) {
  constexpr std::size_t kShown = 40;
  if (s.size() <= kShown) return "'" + std::string(s) + "'";
  std::size_t cut = kShown;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  return "'" + std::string(s.substr(0, cut)) + "...'";
}

[[noreturn]] inline void Fail(const std::string& message) { throw DecodeError(message); }

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
  // `tape`: the document the nodes are on (for SimdNode), whose packets' rows are read
  // off its tape where they plainly fit (packet_json_tape.h); the checked loop reads
  // whatever it leaves.
  explicit Reader(const simdjson::dom::document* tape = nullptr) : tape_(tape) {}

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

    if constexpr (std::is_same_v<Node, SimdNode>) {
      if (tape_ != nullptr && TapeRows(*tape_).Read(rows->Element(), depth, p.fields, p.rows)) return p;
    }
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
          if (!FitsSize(s, f.size)) Fail(FieldWhere(row_number, part, f.name) + SizeProblem(Utf8Length(s), f.size));
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

  const simdjson::dom::document* tape_;
};

}  // namespace rt::packet_json
