// The record order: index rules (null first, numbers numerically, strings byte-wise, ties
// by creation), records waiting to be placed, and the look at the placed order that
// places nothing (RecNo and Describe of a const dataset depend on it).
#include "platform/runtime/record_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rt {
namespace {

using Ids = std::vector<std::uint32_t>;

TEST(RecordOrder, IndexOrdersNullThenNumbersThenStringsTiesByCreation) {
  std::vector<PackedRow> records;
  for (const Variant& key : {Variant("b"), Variant(10), Variant(), Variant("B"), Variant(2.5), Variant("b"),
                             Variant(true), Variant(DateTime{2026, 1, 2, 0, 0, 0})})
    records.push_back(PackedRow::Pack({key}));
  RecordOrder order(records);
  order.Reset(records.size());
  EXPECT_EQ(order.View(), (Ids{0, 1, 2, 3, 4, 5, 6, 7}));
  order.SetIndex({0});
  // null; true = 1, 2.5, 10, the date as a number; "B" before "b"; the two "b" by creation
  EXPECT_EQ(order.View(), (Ids{2, 6, 4, 1, 7, 3, 0, 5}));
  EXPECT_EQ(order.Natural(), (Ids{0, 1, 2, 3, 4, 5, 6, 7}));
  order.SetIndex({});
  EXPECT_EQ(order.View(), (Ids{0, 1, 2, 3, 4, 5, 6, 7}));
}

// Several fields: the first decides, the next break its ties, creation breaks the rest;
// two fields and three are ordered by different paths and must agree on the rule.
TEST(RecordOrder, LaterFieldsBreakTiesOfEarlierOnes) {
  std::vector<PackedRow> records;
  const Row rows[] = {{Variant("G"), Variant(2.0), Variant("x")}, {Variant("C"), Variant(1.0), Variant("y")},
                      {Variant("G"), Variant(1.0), Variant("z")}, {Variant(), Variant(-0.0), Variant("x")},
                      {Variant("G"), Variant(1), Variant("a")},   {Variant("C"), Variant(), Variant("b")},
                      {Variant(), Variant(0.0), Variant("a")},    {Variant("G"), Variant("1"), Variant("a")}};
  for (const Row& row : rows) records.push_back(PackedRow::Pack(row));
  RecordOrder order(records);
  order.Reset(records.size());
  struct Case {
    std::vector<int> fields;
    Ids view;
  };
  const Case cases[] = {
      {{1}, Ids{5, 3, 6, 1, 2, 4, 0, 7}},        // -0.0 equals 0.0; 1 equals 1.0; numbers before "1"
      {{0, 1}, Ids{3, 6, 5, 1, 2, 4, 0, 7}},     // null names first, then "C", then "G" by number
      {{0, 1, 2}, Ids{6, 3, 5, 1, 4, 2, 0, 7}},  // the third field orders the two null names
      {{2, 0, 1}, Ids{6, 4, 7, 5, 3, 0, 1, 2}},
  };
  for (const Case& c : cases) {
    order.SetIndex(c.fields);
    EXPECT_EQ(order.View(), c.view) << ::testing::PrintToString(c.fields);
  }
}

// Records added at the end wait; the look at the placed order must agree with placing,
// whether Place inserts the few waiting records one by one or sorts them all.
TEST(RecordOrder, PlacedOrderIsTheOrderPlacingGives) {
  for (const int waiting : {1, 3, 8, 9, 40}) {
    SCOPED_TRACE(waiting);
    std::vector<PackedRow> records;
    records.reserve(20);
    for (int i = 0; i < 20; ++i) records.push_back(PackedRow::Pack({Variant(std::to_string((i * 7) % 20))}));
    RecordOrder order(records);
    order.Reset(records.size());
    order.SetIndex({0});
    for (int i = 0; i < waiting; ++i) {
      const auto id = static_cast<std::uint32_t>(records.size());
      records.push_back(PackedRow::Pack({Variant(std::to_string((i * 13) % 30))}));
      order.Add(static_cast<long>(order.View().size()), id);
    }
    ASSERT_TRUE(order.Waiting());
    for (const long cur : {0L, 5L, static_cast<long>(order.View().size()) - 1}) {
      SCOPED_TRACE(cur);
      RecordOrder placed = order;
      const std::uint32_t current = order.View()[cur];
      const long predicted = order.PlacedPosition(cur);
      const Ids predicted_view = order.PlacedView();
      long moved = cur;
      placed.Place(moved);
      EXPECT_FALSE(placed.Waiting());
      EXPECT_EQ(predicted_view, placed.View());
      EXPECT_EQ(predicted, moved);
      EXPECT_EQ(placed.View()[moved], current);
    }
  }
}

TEST(RecordOrder, ARecordWhoseKeysChangedWaitsUntilPlaced) {
  std::vector<PackedRow> records;
  for (const char* key : {"A", "B", "C"}) records.push_back(PackedRow::Pack({Variant(key)}));
  RecordOrder order(records);
  order.Reset(records.size());
  order.SetIndex({0});
  EXPECT_TRUE(order.KeysDiffer(records[0], PackedRow::Pack({Variant("Z")})));
  EXPECT_FALSE(order.KeysDiffer(records[0], PackedRow::Pack({Variant("A")})));
  records[0] = PackedRow::Pack({Variant("Z")});
  long cur = 0;
  order.Reposition(cur, false);
  EXPECT_EQ(order.View(), (Ids{1, 2, 0}));
  EXPECT_EQ(cur, 2);
  records[1] = PackedRow::Pack({Variant("ZZ")});
  cur = 0;
  order.Reposition(cur, true);
  EXPECT_EQ(order.View(), (Ids{2, 0, 1}));
  EXPECT_EQ(cur, 2);
  order.Remove(0);
  EXPECT_EQ(order.View(), (Ids{0, 1}));
  EXPECT_EQ(order.Natural(), (Ids{0, 1}));
  order.Clear();
  EXPECT_TRUE(order.View().empty() && order.Natural().empty() && !order.Waiting());
}

}  // namespace
}  // namespace rt
