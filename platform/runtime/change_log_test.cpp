// The change log's bookkeeping: entries found by record id after others were removed
// (the last entry fills the gap), the order of first change, and clearing.
#include "platform/runtime/change_log.h"

#include <gtest/gtest.h>

#include <vector>

namespace rt {
namespace {

std::vector<std::uint32_t> IdsInOrder(const ChangeLog& log) {
  std::vector<std::uint32_t> ids;
  for (const LogEntry* e : log.InOrder()) ids.push_back(e->id);
  return ids;
}

TEST(ChangeLog, FindsEntriesAfterRemovalsAndKeepsTheOrderOfFirstChange) {
  ChangeLog log;
  log.Add(5, RowKind::Modified, PackedRow::Pack({Variant("five")}));
  log.Add(2, RowKind::Inserted, PackedRow());
  log.Add(9, RowKind::Deleted, PackedRow::Pack({Variant("nine")}));
  log.Add(0, RowKind::Modified, PackedRow::Pack({Variant("zero")}));

  log.Remove(5);  // the last entry (id 0) takes its place
  EXPECT_EQ(log.Size(), 3u);
  EXPECT_EQ(log.Find(5), nullptr);
  ASSERT_NE(log.Find(0), nullptr);
  EXPECT_EQ(log.Find(0)->original.Get(0), Variant("zero"));
  ASSERT_NE(log.Find(9), nullptr);
  EXPECT_EQ(log.Find(9)->kind, RowKind::Deleted);
  EXPECT_EQ(log.Find(100), nullptr);  // beyond every slot
  EXPECT_EQ(IdsInOrder(log), (std::vector<std::uint32_t>{2, 9, 0}));

  log.Add(5, RowKind::Modified, PackedRow());  // changed again: now last
  EXPECT_EQ(IdsInOrder(log), (std::vector<std::uint32_t>{2, 9, 0, 5}));
}

TEST(ChangeLog, ClearForgetsEveryEntry) {
  ChangeLog log;
  for (std::uint32_t id = 0; id < 5000; ++id) log.Add(id, RowKind::Inserted, PackedRow());
  log.Clear();
  EXPECT_EQ(log.Size(), 0u);
  EXPECT_EQ(log.Find(0), nullptr);
  EXPECT_EQ(log.Find(4999), nullptr);
  log.Add(3, RowKind::Modified, PackedRow());
  EXPECT_EQ(IdsInOrder(log), (std::vector<std::uint32_t>{3}));

  log.Reset();
  EXPECT_EQ(log.Size(), 0u);
  EXPECT_EQ(log.Find(3), nullptr);
}

}  // namespace
}  // namespace rt
