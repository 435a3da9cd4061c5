// Data packets: the tables that server methods return and accept.
//
// A data packet is a list of field definitions and rows of values in field order. A
// delta packet has the same field definitions; each of its rows carries its kind
// (modified, inserted, deleted) with the values as at the last merge (`old_values`,
// all null for an inserted row) and as now (`new_values`, all null for a deleted row).
// The JSON form of both lives in packet_json.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/variant.h"

namespace rt {

enum class FieldType { String, Integer, Float, Boolean, DateTime };

const char* FieldTypeName(FieldType type);  // "string", "integer", "float", "boolean", "datetime"
std::optional<FieldType> FieldTypeFromName(const std::string& name);

// Which parts of a server-side update a field takes part in. A field marked "not
// applied" has all three off: the server neither writes it nor locates rows by it.
struct ProviderFlags {
  bool in_update = true;
  bool in_where = true;
  bool in_key = false;

  static ProviderFlags NotApplied() { return {false, false, false}; }
  bool IsEmpty() const { return !in_update && !in_where && !in_key; }
  bool operator==(const ProviderFlags&) const = default;
};

struct FieldDef {
  std::string name;
  FieldType type = FieldType::String;
  int size = 20;              // characters, for string fields
  std::string display_label;  // empty: the name is shown
  int display_width = 0;      // characters; 0: derived from size
  bool visible = true;
  bool read_only = false;
  bool required = false;
  bool calculated = false;  // computed on the client; never travels
  bool fixed_length = false;
  std::string edit_mask;
  ProviderFlags provider_flags;

  bool operator==(const FieldDef&) const = default;
};

using Row = std::vector<Variant>;

enum class RowKind { Modified, Inserted, Deleted };
const char* RowKindName(RowKind kind);  // "modified", "inserted", "deleted"

struct DeltaRow {
  RowKind kind = RowKind::Modified;
  Row old_values;
  Row new_values;
  bool operator==(const DeltaRow&) const = default;
};

struct DataPacket {
  enum class Kind { Data, Delta };

  Kind kind = Kind::Data;
  std::vector<FieldDef> fields;
  std::vector<Row> rows;          // Kind::Data
  std::vector<DeltaRow> changes;  // Kind::Delta

  bool IsDelta() const { return kind == Kind::Delta; }
  // Index of the field with this name (exact, case-sensitive), or -1.
  int FieldIndex(const std::string& name) const;
  std::size_t RowCount() const { return IsDelta() ? changes.size() : rows.size(); }

  bool operator==(const DataPacket&) const = default;
};

}  // namespace rt
