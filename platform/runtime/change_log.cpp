#include "platform/runtime/change_log.h"

#include <algorithm>
#include <utility>

namespace rt {

void ChangeLog::Add(std::uint32_t id, RowKind kind, PackedRow original) {
  if (slot_.size() <= id) slot_.resize(id + 1, -1);
  slot_[id] = static_cast<std::int32_t>(entries_.size());
  entries_.push_back(LogEntry{kind, std::move(original), next_seq_++, id});
}

// The last entry takes the removed one's place, so that entries stay contiguous.
void ChangeLog::Remove(std::uint32_t id) {
  const auto at = static_cast<std::size_t>(slot_[id]);
  slot_[id] = -1;
  if (at + 1 != entries_.size()) {
    entries_[at] = std::move(entries_.back());
    slot_[entries_[at].id] = static_cast<std::int32_t>(at);
  }
  entries_.pop_back();
}

std::vector<const LogEntry*> ChangeLog::InOrder() const {
  std::vector<const LogEntry*> out;
  out.reserve(entries_.size());
  for (const LogEntry& e : entries_) out.push_back(&e);
  std::sort(out.begin(), out.end(), [](const LogEntry* a, const LogEntry* b) { return a->seq < b->seq; });
  return out;
}

void ChangeLog::Clear() {
  for (const LogEntry& e : entries_) slot_[e.id] = -1;
  if (entries_.capacity() > 4096) {
    std::vector<LogEntry>().swap(entries_);  // gives back what a bulk load grew
  } else {
    entries_.clear();
  }
}

void ChangeLog::Reset() {
  std::vector<LogEntry>().swap(entries_);
  std::vector<std::int32_t>().swap(slot_);
}

}  // namespace rt
