// Packed rows: a record's values in one heap block, about a third of the size of a
// vector of variants (100,000 grid rows stay near 32 MiB).
//
//   u32 total size | u32 field count n | u32 offset[n + 1] | payloads
//
// offset[i] is where the payload of field i starts (from the start of the block) and
// offset[n] is the end. A payload is one type byte (the index of Variant::Type) followed
// by nothing (null), 1 byte (boolean), 8 bytes (integer, float; host order), the UTF-8
// bytes (string, their length given by the next offset) or 7 bytes (date-time: u16 year,
// then month, day, hour, minute, second). Arrays and packets cannot be stored.
//
// An empty PackedRow (no block) stands for a record with no stored values: deleted, or
// inserted and not yet posted. Its values read as null.
//
// The block never leaves the process (the host order of numbers is fine); two rows are
// equal when their blocks are byte for byte, which is how a post that changes nothing
// is told apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/runtime/packet.h"
#include "platform/runtime/variant.h"

namespace rt {

class PackedRow {
 public:
  PackedRow() = default;

  // `nulls`, when given, marks values to store as null whatever the row holds there.
  // A value that is an array or a packet throws EDatabaseError.
  static PackedRow Pack(const Row& row, const unsigned char* nulls = nullptr);
  // The same from a value per field seen through pointers (a null pointer: a null), so
  // that a load packs a packet's values where they are, without copying them into a row.
  static PackedRow PackReferenced(const std::vector<const Variant*>& values);

  bool Empty() const { return data_ == nullptr; }

  // Null for a field beyond the stored ones (or any field of an empty row).
  Variant::Type TypeAt(int i) const {
    if (Empty() || static_cast<std::uint32_t>(i) >= Load<std::uint32_t>(data_.get() + 4)) return Variant::Type::Null;
    return static_cast<Variant::Type>(data_[Offset(i)]);
  }

  // The bytes after the type byte of a stored field.
  std::string_view Bytes(int i) const {
    const std::uint32_t start = Offset(i) + 1, end = Offset(i + 1);
    return {reinterpret_cast<const char*>(data_.get()) + start, end - start};
  }

  double Number(int i) const;  // an integer, float or boolean as a number; else 0
  Variant Get(int i) const;
  void GetInto(int i, Variant& out) const;    // as out = Get(i), a string assigned in place
  Row Unpack(std::size_t field_count) const;  // missing values null

  bool operator==(const PackedRow& other) const {
    if (Empty() || other.Empty()) return Empty() == other.Empty();
    const std::uint32_t size = Load<std::uint32_t>(data_.get());
    return size == Load<std::uint32_t>(other.data_.get()) && std::memcmp(data_.get(), other.data_.get(), size) == 0;
  }

 private:
  template <typename At>
  static PackedRow PackWith(std::uint32_t n, At at);
  template <typename V>
  static V Load(const void* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  std::uint32_t Offset(int i) const { return Load<std::uint32_t>(data_.get() + 8 + 4 * i); }

  std::unique_ptr<unsigned char[]> data_;
};

// Inline: a field read and an index key come here once per value.
inline double PackedRow::Number(int i) const {
  switch (TypeAt(i)) {
    case Variant::Type::Integer:
      return static_cast<double>(Load<std::int64_t>(Bytes(i).data()));
    case Variant::Type::Float:
      return Load<double>(Bytes(i).data());
    case Variant::Type::Boolean:
      return Bytes(i)[0] != 0 ? 1 : 0;
    default:
      return 0;
  }
}

inline Variant PackedRow::Get(int i) const {
  using T = Variant::Type;
  const T type = TypeAt(i);
  if (type == T::Null) return Variant();
  const std::string_view b = Bytes(i);
  switch (type) {
    case T::Boolean:
      return Variant(b[0] != 0);
    case T::Integer:
      return Variant(Load<std::int64_t>(b.data()));
    case T::Float:
      return Variant(Load<double>(b.data()));
    case T::String:
      return Variant(std::string(b));
    case T::DateTime: {
      const auto* u = reinterpret_cast<const unsigned char*>(b.data());
      return Variant(DateTime{Load<std::uint16_t>(b.data()), u[2], u[3], u[4], u[5], u[6]});
    }
    default:
      return Variant();
  }
}

inline void PackedRow::GetInto(int i, Variant& out) const {
  if (TypeAt(i) == Variant::Type::String) {
    out.AssignString(Bytes(i));
  } else {
    out = Get(i);
  }
}

}  // namespace rt
