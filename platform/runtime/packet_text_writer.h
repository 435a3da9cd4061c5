// Writes one data packet's JSON form straight into a text, a value at a time, for a
// producer that holds its rows as plain texts and numbers (the server's grid load): no
// variant, row or packet is built. The bytes and the checks are those of
// EncodeVariantTo for the same packet (packet_json.h); a value that does not fit its
// field throws EncodeError with the encoder's message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/packet.h"
#include "platform/runtime/variant.h"

namespace rt {

// A packet's field definitions with the head of its text, {"$packet":{"fields":[...],
// "rows":[, written once: a producer that writes packets of one layout again and again
// (the server's grid load, four packets a call) copies the head instead of writing every
// field definition anew. `depth`: the containers around the packet ({"$packet": ...}
// inside an array: 1). Throws EncodeError as the encoder would for these fields.
class PacketLayout {
 public:
  PacketLayout(std::vector<FieldDef> fields, int depth);
  const std::vector<FieldDef>& Fields() const { return fields_; }

 private:
  friend class PacketTextWriter;
  std::vector<FieldDef> fields_;
  int depth_;
  std::string head_;
  std::vector<bool> travels_;  // per field: written (not calculated)
};

class PacketTextWriter {
 public:
  // Appends the layout's head to `out`. The layout must outlive the writer.
  PacketTextWriter(std::string& out, const PacketLayout& layout);

  // One row: one value per field, calculated fields included (they do not travel), in
  // field order, between BeginRow and EndRow.
  void BeginRow();
  void Null();
  void Float(double value);
  void String(std::string_view text);
  void Value(const Variant& value);  // any other value
  void EndRow();

  // Closes the packet; the writer is spent.
  void Finish();

 private:
  // The next value's field, or nullptr when it does not travel; throws past the last.
  const FieldDef* NextField();
  // Checks `value` against `field` and writes it.
  void Checked(const FieldDef& field, const Variant& value);

  std::string& out_;
  const PacketLayout& layout_;
  std::size_t rows_ = 0;
  std::size_t column_ = 0;  // of the row being written
  bool first_in_row_ = true;
};

}  // namespace rt
