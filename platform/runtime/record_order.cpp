#include "platform/runtime/record_order.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace rt {
namespace {

// One value of an index field, ready to compare: null first, then numbers (integers,
// floats, booleans and date-times as sortable numbers) numerically, then strings byte-wise.
struct SortKey {
  int rank = 0;  // 0 null, 1 number, 2 string
  double number = 0;
  std::string_view text;
};

SortKey KeyOf(const PackedRow& row, int field) {
  using T = Variant::Type;
  switch (row.TypeAt(field)) {
    case T::Null:
      return {};
    case T::String:
      return {2, 0, row.Bytes(field)};
    case T::DateTime: {
      const DateTime d = row.Get(field).AsDateTime();
      // Fits a double exactly: at most 14 digits.
      const double n = ((((d.year * 100.0 + d.month) * 100 + d.day) * 100 + d.hour) * 100 + d.minute) * 100 + d.second;
      return {1, n, {}};
    }
    default:
      return {1, row.Number(field), {}};
  }
}

int CompareKeys(const SortKey& a, const SortKey& b) {
  if (a.rank != b.rank) return a.rank < b.rank ? -1 : 1;
  if (a.rank == 1) return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
  if (a.rank == 2) return a.text.compare(b.text) < 0 ? -1 : (a.text == b.text ? 0 : 1);
  return 0;
}

}  // namespace

long RecordOrder::PositionOf(std::uint32_t id) const {
  return std::find(view_.begin(), view_.end(), id) - view_.begin();
}

void RecordOrder::Clear() {
  view_.clear();
  natural_.clear();
  sorted_ = 0;
}

void RecordOrder::Reset(std::size_t count) {
  view_.resize(count);
  std::iota(view_.begin(), view_.end(), 0u);
  natural_.clear();
  std::vector<int> index = std::move(index_fields_);
  index_fields_.clear();  // the view just built is the natural order
  SetIndex(std::move(index));
}

void RecordOrder::SetIndex(std::vector<int> fields) {
  if (index_fields_.empty() && !fields.empty()) natural_ = view_;
  if (!index_fields_.empty() && fields.empty()) {
    view_ = std::move(natural_);
    natural_.clear();
  }
  index_fields_ = std::move(fields);
  if (!index_fields_.empty()) {
    view_ = natural_;
    Sort(view_);
  }
  sorted_ = view_.size();
}

void RecordOrder::Add(long pos, std::uint32_t id) {
  if (!index_fields_.empty()) natural_.push_back(id);
  view_.insert(view_.begin() + pos, id);
  if (static_cast<std::size_t>(pos) < sorted_) ++sorted_;
}

void RecordOrder::Remove(long pos) {
  const std::uint32_t id = view_[pos];
  view_.erase(view_.begin() + pos);
  if (static_cast<std::size_t>(pos) < sorted_) --sorted_;
  if (!index_fields_.empty()) natural_.erase(std::find(natural_.begin(), natural_.end(), id));
}

void RecordOrder::Place(long& cur) {
  if (!Waiting()) {
    sorted_ = view_.size();
    return;
  }
  const long cur_id = cur >= 0 && cur < static_cast<long>(view_.size()) ? view_[cur] : -1;
  if (view_.size() - sorted_ <= 8) {
    const std::vector<std::uint32_t> waiting(view_.begin() + static_cast<long>(sorted_), view_.end());
    view_.resize(sorted_);
    for (std::uint32_t id : waiting) {
      const auto at = std::upper_bound(view_.begin(), view_.end(), id,
                                       [&](std::uint32_t a, std::uint32_t b) { return CompareIds(a, b) < 0; });
      view_.insert(at, id);
    }
  } else {
    Sort(view_);
  }
  sorted_ = view_.size();
  if (cur_id >= 0) cur = PositionOf(static_cast<std::uint32_t>(cur_id));
}

void RecordOrder::Reposition(long& cur, bool place_now) {
  if (index_fields_.empty()) return;
  const std::uint32_t id = view_[cur];
  if (static_cast<std::size_t>(cur) < sorted_) {
    view_.erase(view_.begin() + cur);
    --sorted_;
    view_.push_back(id);
    cur = static_cast<long>(view_.size()) - 1;
  }
  if (place_now) Place(cur);
}

// Keys then id make a total order, so the placed view is the one order of all records
// by it, however Place gets there: count the records before this one.
long RecordOrder::PlacedPosition(long cur) const {
  if (!Waiting() || cur < 0 || cur >= static_cast<long>(view_.size())) return cur;
  const std::uint32_t id = view_[cur];
  return std::count_if(view_.begin(), view_.end(), [&](std::uint32_t other) { return CompareIds(other, id) < 0; });
}

std::vector<std::uint32_t> RecordOrder::PlacedView() const {
  std::vector<std::uint32_t> ids = view_;
  if (Waiting()) Sort(ids);
  return ids;
}

bool RecordOrder::KeysDiffer(const PackedRow& a, const PackedRow& b) const {
  for (int f : index_fields_) {
    if (CompareKeys(KeyOf(a, f), KeyOf(b, f)) != 0) return true;
  }
  return false;
}

int RecordOrder::CompareIds(std::uint32_t a, std::uint32_t b) const {
  for (int f : index_fields_) {
    const int c = CompareKeys(KeyOf(records_[a], f), KeyOf(records_[b], f));
    if (c != 0) return c;
  }
  return a < b ? -1 : (a == b ? 0 : 1);  // equal keys: order of creation
}

// Keys are taken out once into contiguous cells, and the strings of each key field are
// replaced by their rank among the column's distinct strings, so that the sort compares
// numbers only (a grid holds few distinct products).
// Each key value of the records `ids`, for one field, as its rank among the field's
// distinct values in index order (null 0, then the numbers, then the strings), so that
// the sort compares small integers, however the values are stored.
std::vector<std::uint32_t> RecordOrder::Ranks(const std::vector<std::uint32_t>& ids, int field) const {
  const std::size_t n = ids.size();
  std::vector<SortKey> keys(n);
  std::vector<double> numbers;
  std::unordered_map<std::string_view, std::uint32_t> distinct;
  std::vector<std::string_view> texts;
  for (std::size_t p = 0; p < n; ++p) {
    keys[p] = KeyOf(records_[ids[p]], field);
    if (keys[p].rank == 1) numbers.push_back(keys[p].number);
    if (keys[p].rank == 2) {
      const auto [it, added] = distinct.try_emplace(keys[p].text, static_cast<std::uint32_t>(texts.size()));
      if (added) texts.push_back(keys[p].text);
      keys[p].number = it->second;  // provisional: the order of first sight
    }
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  std::vector<std::uint32_t> by_text(texts.size());
  std::iota(by_text.begin(), by_text.end(), 0u);
  std::sort(by_text.begin(), by_text.end(), [&](std::uint32_t a, std::uint32_t b) { return texts[a] < texts[b]; });
  std::vector<std::uint32_t> text_rank(texts.size());
  const auto first_text = static_cast<std::uint32_t>(1 + numbers.size());
  for (std::size_t r = 0; r < by_text.size(); ++r) text_rank[by_text[r]] = first_text + static_cast<std::uint32_t>(r);

  std::vector<std::uint32_t> ranks(n, 0);
  for (std::size_t p = 0; p < n; ++p) {
    if (keys[p].rank == 1) {
      ranks[p] = 1 + static_cast<std::uint32_t>(std::lower_bound(numbers.begin(), numbers.end(), keys[p].number) -
                                                numbers.begin());
    } else if (keys[p].rank == 2) {
      ranks[p] = text_rank[static_cast<std::size_t>(keys[p].number)];
    }
  }
  return ranks;
}

// Orders by the ranks of the index fields, then by id (creation): from the ids in
// ascending order, one stable counting pass per field, the last field first, so that the
// whole sort is linear in the records.
void RecordOrder::Sort(std::vector<std::uint32_t>& ids) const {
  std::sort(ids.begin(), ids.end());
  const std::size_t n = ids.size();
  std::vector<std::uint32_t> order(n), passed(n), count;
  std::iota(order.begin(), order.end(), 0u);
  for (std::size_t j = index_fields_.size(); j-- > 0;) {  // the last field first
    const std::vector<std::uint32_t> ranks = Ranks(ids, index_fields_[j]);
    count.assign(n + 2, 0);  // ranks run from 0 to at most n
    for (std::uint32_t rank : ranks) ++count[rank + 1];
    std::partial_sum(count.begin(), count.end(), count.begin());
    for (std::uint32_t p : order) passed[count[ranks[p]]++] = p;
    order.swap(passed);
  }
  std::vector<std::uint32_t> sorted(n);
  for (std::size_t i = 0; i < n; ++i) sorted[i] = ids[order[i]];
  ids = std::move(sorted);
}

}  // namespace rt
