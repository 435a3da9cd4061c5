#include "platform/runtime/variant.h"

#include <cmath>
#include <cstdio>

#include "platform/runtime/packet.h"

namespace rt {

namespace {

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

}  // namespace

bool DateTime::IsValid() const {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month) &&
         hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

std::string DateTime::ToIso() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute, second);
  return buf;
}

bool DateTime::FromIso(const std::string& text, DateTime& out) {
  // Exactly 19 characters: digits in fixed places, separators in the others.
  static constexpr char kShape[] = "dddd-dd-ddTdd:dd:dd";
  if (text.size() != sizeof kShape - 1) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool want_digit = kShape[i] == 'd';
    const bool is_digit = text[i] >= '0' && text[i] <= '9';
    if (want_digit != is_digit || (!want_digit && text[i] != kShape[i])) return false;
  }
  auto num = [&](std::size_t pos, std::size_t len) {
    int v = 0;
    for (std::size_t i = pos; i < pos + len; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  DateTime d{num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2)};
  if (!d.IsValid()) return false;
  out = d;
  return true;
}

Variant::Variant(DataPacket p) : value_(std::make_shared<const DataPacket>(std::move(p))) {}

double Variant::AsFloat() const {
  if (type() == Type::Integer) return static_cast<double>(AsInt());
  return std::get<double>(value_);
}

namespace {

// An integer equals a float only when the float is exactly that whole number: converting
// the integer to a float instead would round large integers (2^53 + 1 == 2^53).
bool SameNumber(std::int64_t i, double d) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  return d == std::trunc(d) && d >= -kTwoTo63 && d < kTwoTo63 && static_cast<std::int64_t>(d) == i;
}

}  // namespace

bool operator==(const Variant& a, const Variant& b) {
  using T = Variant::Type;
  if (a.IsNumber() && b.IsNumber()) {
    if (a.type() == T::Integer && b.type() == T::Integer) return a.AsInt() == b.AsInt();
    if (a.type() == T::Integer) return SameNumber(a.AsInt(), b.AsFloat());
    if (b.type() == T::Integer) return SameNumber(b.AsInt(), a.AsFloat());
    return a.AsFloat() == b.AsFloat();
  }
  if (a.type() != b.type()) return false;
  if (a.type() == Variant::Type::Packet) {
    const auto pa = a.PacketPtr(), pb = b.PacketPtr();
    return pa == pb || (pa && pb && *pa == *pb);
  }
  return a.value_ == b.value_;
}

std::string Variant::Describe() const {
  switch (type()) {
    case Type::Null:
      return "null";
    case Type::Boolean:
      return AsBool() ? "true" : "false";
    case Type::Integer:
      return std::to_string(AsInt());
    case Type::Float: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", AsFloat());
      return buf;
    }
    case Type::String:
      return "\"" + AsString() + "\"";
    case Type::DateTime:
      return AsDateTime().ToIso();
    case Type::Array: {
      std::string s = "[";
      for (std::size_t i = 0; i < AsArray().size(); ++i) s += (i ? ", " : "") + AsArray()[i].Describe();
      return s + "]";
    }
    case Type::Packet: {
      const DataPacket& p = AsPacket();
      return std::string(p.IsDelta() ? "<delta " : "<packet ") + std::to_string(p.RowCount()) + "x" +
             std::to_string(p.fields.size()) + ">";
    }
  }
  return "?";
}

const char* TypeName(Variant::Type type) {
  switch (type) {
    case Variant::Type::Null:
      return "null";
    case Variant::Type::Boolean:
      return "boolean";
    case Variant::Type::Integer:
      return "integer";
    case Variant::Type::Float:
      return "float";
    case Variant::Type::String:
      return "string";
    case Variant::Type::DateTime:
      return "datetime";
    case Variant::Type::Array:
      return "array";
    case Variant::Type::Packet:
      return "packet";
  }
  return "?";
}

}  // namespace rt
