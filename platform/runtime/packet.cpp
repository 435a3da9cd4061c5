#include "platform/runtime/packet.h"

namespace rt {

const char* FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::String:
      return "string";
    case FieldType::Integer:
      return "integer";
    case FieldType::Float:
      return "float";
    case FieldType::Boolean:
      return "boolean";
    case FieldType::DateTime:
      return "datetime";
  }
  return "?";
}

std::optional<FieldType> FieldTypeFromName(const std::string& name) {
  for (FieldType t : {FieldType::String, FieldType::Integer, FieldType::Float, FieldType::Boolean, FieldType::DateTime})
    if (name == FieldTypeName(t)) return t;
  return std::nullopt;
}

const char* RowKindName(RowKind kind) {
  switch (kind) {
    case RowKind::Modified:
      return "modified";
    case RowKind::Inserted:
      return "inserted";
    case RowKind::Deleted:
      return "deleted";
  }
  return "?";
}

int DataPacket::FieldIndex(const std::string& name) const {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].name == name) return static_cast<int>(i);
  return -1;
}

}  // namespace rt
