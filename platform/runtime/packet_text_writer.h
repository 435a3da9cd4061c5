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

class PacketTextWriter {
 public:
  // Appends {"$packet":{"fields":[...],"rows":[ to `out`. `depth`: the containers around
  // the packet ({"$packet": ...} inside an array: 1).
  PacketTextWriter(std::string& out, const std::vector<FieldDef>& fields, int depth);

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
  const std::vector<FieldDef>& fields_;
  int depth_;
  std::vector<bool> travels_;
  std::size_t rows_ = 0;
  std::size_t column_ = 0;  // of the row being written
  bool first_in_row_ = true;
};

}  // namespace rt
