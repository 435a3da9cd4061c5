// The order of a client dataset's records: the view (the ids RecNo counts) and, with an
// index, the natural (insertion) order beside it.
//
// An index orders by its fields: null first, numbers (integer, float, boolean,
// date-time) numerically, strings byte-wise; equal keys keep the order in which the
// records were created (their ids). A record whose keys changed, or that was posted
// while controls were disabled, waits at the end of the view and is placed at the next
// Place, so that a bulk load sorts once. Placing changes where records are, never which
// order they will have: PlacedPosition and PlacedView tell it without placing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/runtime/packed_row.h"

namespace rt {

class RecordOrder {
 public:
  // Keys are read from `records` (by id), which must outlive the order.
  explicit RecordOrder(const std::vector<PackedRow>& records) : records_(records) {}

  const std::vector<std::uint32_t>& View() const { return view_; }
  const std::vector<std::uint32_t>& Natural() const { return index_fields_.empty() ? view_ : natural_; }
  long PositionOf(std::uint32_t id) const;  // in the view; its size when absent

  // No records; the index stays (and the lists keep their capacity for the next load).
  void Clear();
  // The records 0 .. count-1 in natural order, ordered by the index kept.
  void Reset(std::size_t count);
  // Another index (the fields' positions; empty: natural order); orders the view.
  void SetIndex(std::vector<int> fields);
  // A new record at view position `pos`; last in natural order. It waits to be placed
  // only when it lands among the waiting records.
  void Add(long pos, std::uint32_t id);
  void Remove(long pos);

  bool Waiting() const { return !index_fields_.empty() && sorted_ < view_.size(); }
  // Places the waiting records; `cur` (a view position or -1) follows its record.
  void Place(long& cur);
  // The record at `cur`, whose keys changed, waits to be placed (placed now when asked).
  void Reposition(long& cur, bool place_now);
  // Where the record at `cur` will be once placed, and the whole view then.
  long PlacedPosition(long cur) const;
  std::vector<std::uint32_t> PlacedView() const;

  bool KeysDiffer(const PackedRow& a, const PackedRow& b) const;

 private:
  int CompareIds(std::uint32_t a, std::uint32_t b) const;
  void Sort(std::vector<std::uint32_t>& ids) const;
  std::vector<std::uint32_t> Ranks(const std::vector<std::uint32_t>& ids, int field) const;

  const std::vector<PackedRow>& records_;
  std::vector<std::uint32_t> view_;
  std::vector<std::uint32_t> natural_;  // with an index only
  // With an index, view_[0, sorted_) is in index order and the rest waits to be placed.
  std::size_t sorted_ = 0;
  std::vector<int> index_fields_;
};

}  // namespace rt
