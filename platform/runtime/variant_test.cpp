#include "platform/runtime/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/runtime/packet.h"

namespace rt {
namespace {

DataPacket OneRowPacket(Variant value) {
  DataPacket p;
  FieldDef f;
  f.name = "NRFORNE";
  f.type = FieldType::Float;
  p.fields = {f};
  p.rows = {{std::move(value)}};
  return p;
}

TEST(VariantComparison, ComparesAsVariants) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  const Variant packet = OneRowPacket(1.5);
  struct Case {
    Variant a, b;
    bool equal;
  };
  const Case cases[] = {
      {"abc", "abc", true},
      {"abc", "abd", false},
      {"abc", "ABC", false},
      {Variant(), Variant(), true},
      {Variant(), "", false},
      {Variant(), 0, false},
      {"", "", true},
      {1, 1.0, true},
      {1.0, 1, true},
      {1, 1.5, false},
      {0, -0.0, true},
      {true, 1, false},
      {"1", 1, false},
      // An integer and a float are equal only when they are the same number, also where
      // converting the integer to a float would round it.
      {kMax, 9223372036854775808.0, false},
      {(std::int64_t{1} << 53) + 1, 9007199254740992.0, false},
      {std::int64_t{1} << 53, 9007199254740992.0, true},
      {std::numeric_limits<std::int64_t>::min(), -9223372036854775808.0, true},
      {1, std::nan(""), false},
      {DateTime{2026, 1, 31, 10, 0, 0}, DateTime{2026, 1, 31, 10, 0, 0}, true},
      {DateTime{2026, 1, 31, 10, 0, 0}, DateTime{2026, 1, 31, 10, 0, 1}, false},
      {DateTime{2026, 1, 31, 10, 0, 0}, "2026-01-31T10:00:00", false},
      {VariantArray{1, "a"}, VariantArray{1.0, "a"}, true},
      {VariantArray{1, "a"}, VariantArray{1, "a", Variant()}, false},
      {VariantArray{}, Variant(), false},
      {packet, packet, true},
      {packet, OneRowPacket(1.5), true},           // another object, same content
      {OneRowPacket(2.0), OneRowPacket(2), true},  // the same number
      {packet, OneRowPacket(2.5), false},
      {packet, OneRowPacket(Variant()), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a.Describe() + " vs " + c.b.Describe());
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.b == c.a, c.equal);
  }
}

TEST(VariantComparison, PacketsDifferInDefinitionsAndKind) {
  DataPacket a = OneRowPacket(1.5);
  DataPacket b = a;
  b.fields[0].display_label = "Nr.";
  EXPECT_FALSE(Variant(a) == Variant(b));
  DataPacket delta = a;
  delta.kind = DataPacket::Kind::Delta;
  delta.rows.clear();
  delta.changes = {{RowKind::Modified, {1.5}, {2.5}}};
  EXPECT_FALSE(Variant(a) == Variant(delta));
}

TEST(VariantAccess, TypedAccessOfAnotherTypeThrows) {
  EXPECT_EQ(Variant(7).AsFloat(), 7.0);
  EXPECT_THROW(Variant(7.5).AsInt(), std::bad_variant_access);
  EXPECT_THROW(Variant().AsString(), std::bad_variant_access);
  EXPECT_THROW(Variant("x").AsFloat(), std::bad_variant_access);
}

TEST(DateTimeIso, RoundTripsValidMoments) {
  for (const DateTime& d :
       {DateTime{2026, 1, 31, 10, 0, 0}, DateTime{2024, 2, 29, 23, 59, 59}, DateTime{2000, 2, 29, 0, 0, 0},
        DateTime{1, 1, 1, 0, 0, 0}, DateTime{9999, 12, 31, 23, 59, 59}, DateTime{}}) {
    SCOPED_TRACE(d.ToIso());
    DateTime back{1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(DateTime::FromIso(d.ToIso(), back));
    EXPECT_EQ(back, d);
  }
  EXPECT_EQ((DateTime{2026, 3, 4, 5, 6, 7}.ToIso()), "2026-03-04T05:06:07");
}

TEST(DateTimeIso, RejectsBadDatesAndShapes) {
  const char* bad[] = {
      "2026-02-30T00:00:00",  "2025-02-29T00:00:00", "1900-02-29T00:00:00", "2026-04-31T00:00:00",
      "2026-13-01T00:00:00",  "2026-00-10T00:00:00", "2026-01-00T00:00:00", "0000-01-01T00:00:00",
      "2026-01-01T24:00:00",  "2026-01-01T23:60:00", "2026-01-01T23:59:60", "2026-01-01 00:00:00",
      "2026/01/01T00:00:00",  "2026-01-01",          "2026-01-01T00:00",    " 2026-01-01T00:00:00",
      "2026-01-01T00:00:00Z", "2026-1-01T00:00:00",  "+026-01-01T00:00:00", "",
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    DateTime out{2020, 5, 5, 5, 5, 5};
    EXPECT_FALSE(DateTime::FromIso(text, out));
    EXPECT_EQ(out, (DateTime{2020, 5, 5, 5, 5, 5}));  // untouched
  }
  EXPECT_FALSE((DateTime{2026, 2, 30, 0, 0, 0}.IsValid()));
}

}  // namespace
}  // namespace rt
