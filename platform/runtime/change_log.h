// The change log of a client dataset: one entry per changed record holding its values
// as at the last merge, found from the record id through one slot per record. Adding,
// finding and removing are O(1) without hashing or a node per entry; clearing touches
// only the entries. What an entry means (insert then delete cancels out, and so on) is
// the dataset's rule; this keeps the entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/runtime/packed_row.h"
#include "platform/runtime/packet.h"

namespace rt {

struct LogEntry {
  RowKind kind = RowKind::Modified;
  PackedRow original;     // the values as at the last merge (empty for an inserted record)
  std::uint64_t seq = 0;  // order of the first change, the order of the delta
  std::uint32_t id = 0;
};

class ChangeLog {
 public:
  LogEntry* Find(std::uint32_t id) {
    return id < slot_.size() && slot_[id] >= 0 ? &entries_[static_cast<std::size_t>(slot_[id])] : nullptr;
  }
  const LogEntry* Find(std::uint32_t id) const {
    return id < slot_.size() && slot_[id] >= 0 ? &entries_[static_cast<std::size_t>(slot_[id])] : nullptr;
  }

  void Add(std::uint32_t id, RowKind kind, PackedRow original);  // `id` has no entry yet
  void Remove(std::uint32_t id);                                 // `id` has an entry
  std::size_t Size() const { return entries_.size(); }
  std::vector<const LogEntry*> InOrder() const;  // in the order of their first change
  void Clear();                                  // the records stay
  void Reset();                                  // no records any more

 private:
  std::vector<LogEntry> entries_;
  std::vector<std::int32_t> slot_;  // by record id: the entry's index, or -1
  std::uint64_t next_seq_ = 0;
};

}  // namespace rt
