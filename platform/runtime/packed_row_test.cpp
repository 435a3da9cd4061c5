// Packed rows: every storable value comes back as it went in, with its type; null marks,
// the empty row and byte-wise equality behave as the dataset relies on.
#include "platform/runtime/packed_row.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/runtime/field.h"

namespace rt {
namespace {

TEST(PackedRow, EveryStorableValueComesBackWithItsType) {
  const Row row{Variant(),
                Variant(true),
                Variant(false),
                Variant(std::numeric_limits<std::int64_t>::min()),
                Variant(std::numeric_limits<std::int64_t>::max()),
                Variant(-0.5),
                Variant(1e300),
                Variant(""),
                Variant("Mão de obra — 12 h"),
                Variant(std::string(70000, 'x')),  // beyond 16 bits of offset
                Variant(DateTime{2026, 12, 31, 23, 59, 58}),
                Variant(DateTime{1, 1, 1, 0, 0, 0})};
  const PackedRow packed = PackedRow::Pack(row);
  ASSERT_FALSE(packed.Empty());
  for (std::size_t i = 0; i < row.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(packed.TypeAt(static_cast<int>(i)), row[i].type());
    EXPECT_EQ(packed.Get(static_cast<int>(i)), row[i]);
  }
  EXPECT_EQ(packed.Unpack(row.size()), row);
  EXPECT_EQ(packed.Bytes(8), "Mão de obra — 12 h");

  // Read into one reused variant, whatever it held before, and packed from pointers.
  Variant into(3.5);
  std::vector<const Variant*> pointers;
  for (std::size_t i = 0; i < row.size(); ++i) {
    SCOPED_TRACE(i);
    packed.GetInto(static_cast<int>(i), into);
    EXPECT_EQ(into.type(), row[i].type());
    EXPECT_EQ(into, row[i]);
    pointers.push_back(row[i].IsNull() ? nullptr : &row[i]);
  }
  EXPECT_EQ(PackedRow::PackReferenced(pointers), packed);
}

TEST(PackedRow, NumbersForTheIndex) {
  const PackedRow packed = PackedRow::Pack({Variant(std::int64_t{-7}), Variant(2.25), Variant(true), Variant("9")});
  EXPECT_EQ(packed.Number(0), -7.0);
  EXPECT_EQ(packed.Number(1), 2.25);
  EXPECT_EQ(packed.Number(2), 1.0);
  EXPECT_EQ(packed.Number(3), 0.0);  // not a number
}

TEST(PackedRow, MarkedValuesAreStoredAsNull) {
  const Row row{Variant("kept"), Variant("dropped"), Variant(3.0)};
  const unsigned char nulls[] = {0, 1, 0};
  const PackedRow packed = PackedRow::Pack(row, nulls);
  EXPECT_EQ(packed.Unpack(3), (Row{Variant("kept"), Variant(), Variant(3.0)}));
  EXPECT_EQ(packed, PackedRow::Pack({Variant("kept"), Variant(), Variant(3.0)}));
}

TEST(PackedRow, EmptyRowAndFieldsBeyondTheStoredOnesReadAsNull) {
  const PackedRow empty;
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.TypeAt(0), Variant::Type::Null);
  EXPECT_EQ(empty.Unpack(2), Row(2));

  const PackedRow one = PackedRow::Pack({Variant("A")});
  EXPECT_EQ(one.TypeAt(1), Variant::Type::Null);
  EXPECT_EQ(one.Unpack(3), (Row{Variant("A"), Variant(), Variant()}));
  EXPECT_EQ(one.Unpack(0), Row());
}

TEST(PackedRow, EqualOnlyWhenEveryValueAndTypeIsEqual) {
  struct Case {
    const char* name;
    Row a, b;
    bool equal;
  };
  const Case cases[] = {
      {"same values", {Variant("A"), Variant(1.5)}, {Variant("A"), Variant(1.5)}, true},
      {"one value differs", {Variant("A"), Variant(1.5)}, {Variant("A"), Variant(2.5)}, false},
      {"integer against float", {Variant(1)}, {Variant(1.0)}, false},
      {"null against empty string", {Variant()}, {Variant("")}, false},
      {"a value moves to the next field", {Variant("AB"), Variant("")}, {Variant("A"), Variant("B")}, false},
      {"fewer fields", {Variant("A")}, {Variant("A"), Variant()}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PackedRow::Pack(c.a) == PackedRow::Pack(c.b), c.equal);
  }
  EXPECT_FALSE(PackedRow() == PackedRow::Pack({}));
  EXPECT_TRUE(PackedRow() == PackedRow());
}

TEST(PackedRow, RefusesValuesNoFieldHolds) {
  try {
    PackedRow::Pack({Variant("A"), Variant(VariantArray{Variant(1)})});
    FAIL() << "an array was packed";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("A field cannot hold"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace rt
