// The variant: the one value type that travels between server and screens and that the
// client dataset stores. Null, boolean, integer, float, UTF-8 string, date-time, array
// of variants, and data packet.
//
// Comparison is "as variants": equal strings are equal, null equals null, null differs
// from the empty string, an integer and a float compare by numeric value, packets
// compare by content.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rt {

struct DataPacket;

// A calendar date and time of day, to the second, with no time zone (what the server
// stores is what the clerk sees).
struct DateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;

  // "YYYY-MM-DDTHH:MM:SS"
  std::string ToIso() const;
  // Parses exactly "YYYY-MM-DDTHH:MM:SS" with a valid calendar date and time; false otherwise.
  static bool FromIso(const std::string& text, DateTime& out);
  bool IsValid() const;

  auto operator<=>(const DateTime&) const = default;
};

class Variant;
using VariantArray = std::vector<Variant>;

class Variant {
 public:
  enum class Type { Null, Boolean, Integer, Float, String, DateTime, Array, Packet };

  Variant() = default;  // null
  Variant(std::nullptr_t) {}
  Variant(bool b) : value_(b) {}
  Variant(int i) : value_(static_cast<std::int64_t>(i)) {}
  Variant(std::int64_t i) : value_(i) {}
  Variant(double d) : value_(d) {}
  Variant(const char* s) : value_(std::string(s)) {}
  Variant(std::string s) : value_(std::move(s)) {}
  // Builds the string in place (readers of large packets construct many).
  explicit Variant(std::string_view s) : value_(std::in_place_type<std::string>, s) {}
  Variant(rt::DateTime d) : value_(d) {}
  Variant(VariantArray a) : value_(std::move(a)) {}
  Variant(DataPacket p);
  Variant(std::shared_ptr<const DataPacket> p) : value_(std::move(p)) {}

  Type type() const { return static_cast<Type>(value_.index()); }
  bool IsNull() const { return type() == Type::Null; }
  bool IsNumber() const { return type() == Type::Integer || type() == Type::Float; }

  // Typed access; each throws std::bad_variant_access on a value of another type.
  bool AsBool() const { return std::get<bool>(value_); }
  std::int64_t AsInt() const { return std::get<std::int64_t>(value_); }
  double AsFloat() const;  // integer or float
  const std::string& AsString() const { return std::get<std::string>(value_); }
  const rt::DateTime& AsDateTime() const { return std::get<rt::DateTime>(value_); }
  const VariantArray& AsArray() const { return std::get<VariantArray>(value_); }
  VariantArray& AsArray() { return std::get<VariantArray>(value_); }
  const DataPacket& AsPacket() const { return *std::get<std::shared_ptr<const DataPacket>>(value_); }
  std::shared_ptr<const DataPacket> PacketPtr() const { return std::get<std::shared_ptr<const DataPacket>>(value_); }

  // Makes this the string `s`, reusing the string it holds (and its capacity) if any:
  // loops that read many records into one variant allocate once.
  void AssignString(std::string_view s) {
    if (auto* held = std::get_if<std::string>(&value_)) {
      held->assign(s);
    } else {
      value_.emplace<std::string>(s);
    }
  }

  // A short human-readable rendering for messages and test output:
  // null, true, 12, 1.5, "text", 2026-01-31T10:00:00, [..], <packet 3x21>.
  std::string Describe() const;

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  std::variant<std::monostate, bool, std::int64_t, double, std::string, rt::DateTime, VariantArray,
               std::shared_ptr<const DataPacket>>
      value_;
};

const char* TypeName(Variant::Type type);

}  // namespace rt
