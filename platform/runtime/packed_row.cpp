#include "platform/runtime/packed_row.h"

#include <algorithm>
#include <string>

#include "platform/runtime/field.h"

namespace rt {
namespace {

void Put32(unsigned char* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

std::size_t PayloadSize(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::Null:
      return 0;
    case Variant::Type::Boolean:
      return 1;
    case Variant::Type::Integer:
    case Variant::Type::Float:
      return 8;
    case Variant::Type::String:
      return v.AsString().size();
    case Variant::Type::DateTime:
      return 7;
    default:
      throw EDatabaseError("A field cannot hold " + v.Describe());
  }
}

// Writes the payload of `v` at `pos`; returns the position after it.
std::size_t PutPayload(unsigned char* p, std::size_t pos, const Variant& v) {
  p[pos++] = static_cast<unsigned char>(v.type());
  switch (v.type()) {
    case Variant::Type::Boolean:
      p[pos++] = v.AsBool() ? 1 : 0;
      break;
    case Variant::Type::Integer: {
      const std::int64_t i = v.AsInt();
      std::memcpy(p + pos, &i, 8);
      pos += 8;
      break;
    }
    case Variant::Type::Float: {
      const double d = v.AsFloat();
      std::memcpy(p + pos, &d, 8);
      pos += 8;
      break;
    }
    case Variant::Type::String:
      std::memcpy(p + pos, v.AsString().data(), v.AsString().size());
      pos += v.AsString().size();
      break;
    case Variant::Type::DateTime: {
      const DateTime& d = v.AsDateTime();
      const auto year = static_cast<std::uint16_t>(d.year);
      std::memcpy(p + pos, &year, 2);
      p[pos + 2] = static_cast<unsigned char>(d.month);
      p[pos + 3] = static_cast<unsigned char>(d.day);
      p[pos + 4] = static_cast<unsigned char>(d.hour);
      p[pos + 5] = static_cast<unsigned char>(d.minute);
      p[pos + 6] = static_cast<unsigned char>(d.second);
      pos += 7;
      break;
    }
    default:
      break;
  }
  return pos;
}

const Variant kNull;

}  // namespace

// Packs the values `at(0) .. at(n - 1)`: sizes first, then one block written in place.
template <typename At>
PackedRow PackedRow::PackWith(std::uint32_t n, At at) {
  std::size_t size = 8 + 4 * (n + 1);
  for (std::size_t i = 0; i < n; ++i) size += 1 + PayloadSize(at(i));
  PackedRow out;
  out.data_ = std::make_unique_for_overwrite<unsigned char[]>(size);
  unsigned char* p = out.data_.get();
  Put32(p, static_cast<std::uint32_t>(size));
  Put32(p + 4, n);
  std::size_t pos = 8 + 4 * (n + 1);
  for (std::size_t i = 0; i < n; ++i) {
    Put32(p + 8 + 4 * i, static_cast<std::uint32_t>(pos));
    pos = PutPayload(p, pos, at(i));
  }
  Put32(p + 8 + 4 * std::size_t{n}, static_cast<std::uint32_t>(pos));
  return out;
}

PackedRow PackedRow::Pack(const Row& row, const unsigned char* nulls) {
  return PackWith(static_cast<std::uint32_t>(row.size()),
                  [&](std::size_t i) -> const Variant& { return nulls != nullptr && nulls[i] ? kNull : row[i]; });
}

PackedRow PackedRow::PackReferenced(const std::vector<const Variant*>& values) {
  return PackWith(static_cast<std::uint32_t>(values.size()),
                  [&](std::size_t i) -> const Variant& { return values[i] != nullptr ? *values[i] : kNull; });
}

Row PackedRow::Unpack(std::size_t field_count) const {
  Row row(field_count);
  if (Empty()) return row;
  const auto n = std::min<std::size_t>(field_count, Load<std::uint32_t>(data_.get() + 4));
  for (std::size_t i = 0; i < n; ++i) row[i] = Get(static_cast<int>(i));
  return row;
}

}  // namespace rt
