// The rules of the JSON form that the writer and the reader share (packet_json.cpp
// describes the form): how a string's characters are counted against its field's size,
// the messages that name a row or a field, and the names of flags and row kinds.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime/packet.h"

namespace rt::packet_json {

inline const int kDefaultFieldSize = FieldDef{}.size;

inline std::size_t Utf8Length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// A string fits a field of `size` characters. Bytes bound the characters, so they are
// counted only when the bytes are more than the size.
inline bool FitsSize(std::string_view s, int size) {
  return s.size() <= static_cast<std::size_t>(size) || Utf8Length(s) <= static_cast<std::size_t>(size);
}

inline std::string SizeProblem(std::size_t length, int size) {
  return "string of " + std::to_string(length) + " characters exceeds size " + std::to_string(size);
}

inline std::string RowWidthProblem(std::size_t row_number, std::size_t values, std::size_t fields, const char* part = "") {
  return "row " + std::to_string(row_number) + part + " has " + std::to_string(values) + " values, the packet has " +
         std::to_string(fields) + " fields";
}

inline std::string FieldWhere(std::size_t row_number, const char* part, const std::string& field) {
  return "row " + std::to_string(row_number) + part + ", field '" + field + "': ";
}

struct FlagName {
  const char* name;
  bool ProviderFlags::*member;
};
inline constexpr std::array<FlagName, 3> kFlagNames{
    {{"update", &ProviderFlags::in_update}, {"where", &ProviderFlags::in_where}, {"key", &ProviderFlags::in_key}}};

inline std::optional<RowKind> RowKindFromName(std::string_view name) {
  for (RowKind k : {RowKind::Modified, RowKind::Inserted, RowKind::Deleted})
    if (name == RowKindName(k)) return k;
  return std::nullopt;
}

inline bool AllNull(const Row& row) {
  for (const Variant& v : row)
    if (!v.IsNull()) return false;
  return true;
}

}  // namespace rt::packet_json
