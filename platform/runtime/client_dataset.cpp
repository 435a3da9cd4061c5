#include "platform/runtime/client_dataset.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace rt {

namespace {

// ---- Packed rows
//
// A record's values in one heap block, a fraction of the size of a vector of variants:
//   u32 total size | u32 field count n | u32 offset[n + 1] | payloads
// offset[i] is where the payload of field i starts (from the start of the block) and
// offset[n] is the end. A payload is one type byte (the index of Variant::Type) followed
// by nothing (null), 1 byte (boolean), 8 bytes (integer, float; host order), the UTF-8
// bytes (string, their length given by the next offset) or 7 bytes (date-time: u16 year,
// then month, day, hour, minute, second). An empty PackedRow (no block) stands for a
// record with no stored values: deleted, or inserted and not yet posted.
class PackedRow {
 public:
  PackedRow() = default;

  // `nulls`, when given, marks values to store as null whatever the row holds there.
  static PackedRow Pack(const Row& row, const unsigned char* nulls = nullptr) {
    static const Variant kNull;
    auto at = [&](std::size_t i) -> const Variant& { return nulls != nullptr && nulls[i] ? kNull : row[i]; };
    const auto n = static_cast<std::uint32_t>(row.size());
    std::size_t size = 8 + 4 * (n + 1);
    for (std::size_t i = 0; i < n; ++i) size += 1 + PayloadSize(at(i));
    PackedRow out;
    out.data_ = std::make_unique_for_overwrite<unsigned char[]>(size);
    unsigned char* p = out.data_.get();
    Put32(p, static_cast<std::uint32_t>(size));
    Put32(p + 4, n);
    std::size_t pos = 8 + 4 * (n + 1);
    for (std::uint32_t i = 0; i < n; ++i) {
      Put32(p + 8 + 4 * i, static_cast<std::uint32_t>(pos));
      pos = PutPayload(p, pos, at(i));
    }
    Put32(p + 8 + 4 * n, static_cast<std::uint32_t>(pos));
    return out;
  }

  bool Empty() const { return data_ == nullptr; }

  Variant::Type TypeAt(int i) const {
    if (Empty() || static_cast<std::uint32_t>(i) >= Load<std::uint32_t>(data_.get() + 4)) return Variant::Type::Null;
    return static_cast<Variant::Type>(data_[Offset(i)]);
  }

  // The bytes after the type byte.
  std::string_view Bytes(int i) const {
    const std::uint32_t start = Offset(i) + 1, end = Offset(i + 1);
    return {reinterpret_cast<const char*>(data_.get()) + start, end - start};
  }

  double Number(int i) const {  // integer, float, boolean
    const std::string_view b = Bytes(i);
    switch (TypeAt(i)) {
      case Variant::Type::Integer: return static_cast<double>(Load<std::int64_t>(b.data()));
      case Variant::Type::Float: return Load<double>(b.data());
      case Variant::Type::Boolean: return b[0] != 0 ? 1 : 0;
      default: return 0;
    }
  }

  Variant Get(int i) const {
    using T = Variant::Type;
    const T type = TypeAt(i);
    if (type == T::Null) return Variant();
    const std::string_view b = Bytes(i);
    switch (type) {
      case T::Boolean: return Variant(b[0] != 0);
      case T::Integer: return Variant(Load<std::int64_t>(b.data()));
      case T::Float: return Variant(Load<double>(b.data()));
      case T::String: return Variant(std::string(b));
      case T::DateTime: {
        const auto* u = reinterpret_cast<const unsigned char*>(b.data());
        return Variant(DateTime{Load<std::uint16_t>(b.data()), u[2], u[3], u[4], u[5], u[6]});
      }
      default: return Variant();
    }
  }

  Row Unpack(std::size_t field_count) const {
    Row row(field_count);
    if (Empty()) return row;
    const auto n = std::min<std::size_t>(field_count, Load<std::uint32_t>(data_.get() + 4));
    for (std::size_t i = 0; i < n; ++i) row[i] = Get(static_cast<int>(i));
    return row;
  }

  bool operator==(const PackedRow& other) const {
    if (Empty() || other.Empty()) return Empty() == other.Empty();
    const std::uint32_t size = Load<std::uint32_t>(data_.get());
    return size == Load<std::uint32_t>(other.data_.get()) && std::memcmp(data_.get(), other.data_.get(), size) == 0;
  }

 private:
  template <typename V>
  static V Load(const void* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Put32(unsigned char* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

  std::uint32_t Offset(int i) const { return Load<std::uint32_t>(data_.get() + 8 + 4 * i); }

  static std::size_t PayloadSize(const Variant& v) {
    switch (v.type()) {
      case Variant::Type::Null: return 0;
      case Variant::Type::Boolean: return 1;
      case Variant::Type::Integer:
      case Variant::Type::Float: return 8;
      case Variant::Type::String: return v.AsString().size();
      case Variant::Type::DateTime: return 7;
      default: throw EDatabaseError("A field cannot hold " + v.Describe());
    }
  }

  static std::size_t PutPayload(unsigned char* p, std::size_t pos, const Variant& v) {
    p[pos++] = static_cast<unsigned char>(v.type());
    switch (v.type()) {
      case Variant::Type::Boolean: p[pos++] = v.AsBool() ? 1 : 0; break;
      case Variant::Type::Integer: {
        const std::int64_t i = v.AsInt();
        std::memcpy(p + pos, &i, 8);
        pos += 8;
        break;
      }
      case Variant::Type::Float: {
        const double d = v.AsFloat();
        std::memcpy(p + pos, &d, 8);
        pos += 8;
        break;
      }
      case Variant::Type::String:
        std::memcpy(p + pos, v.AsString().data(), v.AsString().size());
        pos += v.AsString().size();
        break;
      case Variant::Type::DateTime: {
        const DateTime& d = v.AsDateTime();
        const auto year = static_cast<std::uint16_t>(d.year);
        std::memcpy(p + pos, &year, 2);
        p[pos + 2] = static_cast<unsigned char>(d.month);
        p[pos + 3] = static_cast<unsigned char>(d.day);
        p[pos + 4] = static_cast<unsigned char>(d.hour);
        p[pos + 5] = static_cast<unsigned char>(d.minute);
        p[pos + 6] = static_cast<unsigned char>(d.second);
        pos += 7;
        break;
      }
      default: break;
    }
    return pos;
  }

  std::unique_ptr<unsigned char[]> data_;
};

// ---- Index keys
//
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
    case T::Null: return {};
    case T::String: return {2, 0, row.Bytes(field)};
    case T::DateTime: {
      const DateTime d = row.Get(field).AsDateTime();
      // Fits a double exactly: at most 14 digits.
      const double n = ((((d.year * 100.0 + d.month) * 100 + d.day) * 100 + d.hour) * 100 + d.minute) * 100 + d.second;
      return {1, n, {}};
    }
    default: return {1, row.Number(field), {}};
  }
}

int CompareKeys(const SortKey& a, const SortKey& b) {
  if (a.rank != b.rank) return a.rank < b.rank ? -1 : 1;
  if (a.rank == 1) return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
  if (a.rank == 2) return a.text.compare(b.text) < 0 ? -1 : (a.text == b.text ? 0 : 1);
  return 0;
}

struct LogEntry {
  RowKind kind = RowKind::Modified;
  PackedRow original;  // the values as at the last merge (empty for an inserted record)
  std::uint64_t seq = 0;  // order of the first change, the order of the delta
  std::uint32_t id = 0;
};

// The change log: entries in one vector, found from a record id through a slot per
// record. Adding, finding and removing are O(1) without hashing or a node per entry;
// clearing touches only the entries.
class ChangeLog {
 public:
  LogEntry* Find(std::uint32_t id) {
    return id < slot_.size() && slot_[id] >= 0 ? &entries_[static_cast<std::size_t>(slot_[id])] : nullptr;
  }
  const LogEntry* Find(std::uint32_t id) const { return const_cast<ChangeLog*>(this)->Find(id); }

  void Add(std::uint32_t id, RowKind kind, PackedRow original) {
    if (slot_.size() <= id) slot_.resize(id + 1, -1);
    slot_[id] = static_cast<std::int32_t>(entries_.size());
    entries_.push_back(LogEntry{kind, std::move(original), next_seq_++, id});
  }

  void Remove(std::uint32_t id) {
    const auto at = static_cast<std::size_t>(slot_[id]);
    slot_[id] = -1;
    if (at + 1 != entries_.size()) {
      entries_[at] = std::move(entries_.back());
      slot_[entries_[at].id] = static_cast<std::int32_t>(at);
    }
    entries_.pop_back();
  }

  std::size_t Size() const { return entries_.size(); }

  // In the order of their first change.
  std::vector<const LogEntry*> InOrder() const {
    std::vector<const LogEntry*> out;
    out.reserve(entries_.size());
    for (const LogEntry& e : entries_) out.push_back(&e);
    std::sort(out.begin(), out.end(), [](const LogEntry* a, const LogEntry* b) { return a->seq < b->seq; });
    return out;
  }

  void Clear() {
    for (const LogEntry& e : entries_) slot_[e.id] = -1;
    if (entries_.capacity() > 4096) {
      std::vector<LogEntry>().swap(entries_);  // gives back what a bulk load grew
    } else {
      entries_.clear();
    }
  }

  void Reset() {  // no records any more
    std::vector<LogEntry>().swap(entries_);
    std::vector<std::int32_t>().swap(slot_);
  }

 private:
  std::vector<LogEntry> entries_;
  std::vector<std::int32_t> slot_;
  std::uint64_t next_seq_ = 0;
};

// True when the value is already of the field's type and size (the common case of a
// load), so that it can be stored without conversion.
bool StoresAsIs(const FieldDef& def, const Variant& value) {
  using T = Variant::Type;
  switch (value.type()) {
    case T::Null: return true;
    case T::String:
      // Bytes never undercount characters: within the size in bytes, within it in characters.
      return def.type == FieldType::String && (def.size < 0 || value.AsString().size() <= static_cast<std::size_t>(def.size));
    case T::Float: return def.type == FieldType::Float;
    case T::Integer: return def.type == FieldType::Integer;
    case T::Boolean: return def.type == FieldType::Boolean;
    case T::DateTime: return def.type == FieldType::DateTime;
    default: return false;
  }
}

std::vector<std::string> SplitNames(const std::string& names) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= names.size()) {
    const std::size_t end = std::min(names.find(';', start), names.size());
    std::string name = names.substr(start, end - start);
    const auto first = name.find_first_not_of(' ');
    const auto last = name.find_last_not_of(' ');
    if (first != std::string::npos) out.push_back(name.substr(first, last - first + 1));
    start = end + 1;
  }
  return out;
}

}  // namespace

// ---- The dataset's storage and the rules that keep it consistent

struct TClientDataSet::Impl {
  explicit Impl(TClientDataSet& owner) : ds(owner) {}

  TClientDataSet& ds;
  std::vector<PackedRow> records;      // by record id
  // Ids in view order. Without an index the view is the natural (insertion) order and
  // `natural` is unused; with one, `natural` keeps the natural order.
  std::vector<std::uint32_t> view;
  std::vector<std::uint32_t> natural;
  // With an index, view[0, sorted) is in index order and the rest waits to be placed:
  // posts made while controls are disabled are placed in one go when order is next needed.
  std::size_t sorted = 0;
  long cur = -1;  // position in the view

  // The edit buffer. A slot marked in buffer_null reads as null whatever it holds, so
  // that a new record starts empty while its string slots keep their capacity.
  Row buffer;
  std::vector<unsigned char> buffer_null;
  std::uint32_t edit_id = 0;
  bool editing = false;
  bool inserting = false;
  // While controls are disabled (a bulk change), the calculated fields of the buffer are
  // computed once when read or posted, not on every field write.
  bool calc_pending = false;

  ChangeLog log;

  std::vector<int> index_fields;
  bool has_calc = false;
  Row* calc_row = nullptr;  // the record OnCalcFields is computing
  long read_id = -1;        // record read through a TReadRecordScope

  TDataSetState disable_state = dsInactive;
  bool layout_changed_while_disabled = false;

  long CurrentId() const { return cur >= 0 && cur < static_cast<long>(view.size()) ? view[cur] : -1; }

  Variant Stored(long id, int field) const {
    if (id < 0 || static_cast<std::size_t>(id) >= records.size()) return Variant();
    return records[id].Get(field);
  }

  // The record field reads answer for: calculating, read scope, edit buffer, current.
  Variant Read(int field) const {
    if (calc_row != nullptr) return (*calc_row)[field];
    if (read_id >= 0) {
      if (editing && static_cast<std::uint32_t>(read_id) == edit_id) return BufferValue(field);
      return Stored(read_id, field);
    }
    if (editing) return BufferValue(field);
    return Stored(CurrentId(), field);
  }

  Variant BufferValue(int field) const { return buffer_null[field] ? Variant() : buffer[field]; }

  void StartBuffer(Row values) {
    buffer = std::move(values);
    buffer_null.assign(buffer.size(), 0);
  }

  void StartEmptyBuffer(std::size_t fields) {
    buffer.resize(fields);
    buffer_null.assign(fields, 1);
  }

  // The buffer as a plain row (marked slots made null), for the calculation handler.
  Row& PlainBuffer() {
    for (std::size_t f = 0; f < buffer.size(); ++f) {
      if (buffer_null[f]) buffer[f] = Variant();
    }
    std::fill(buffer_null.begin(), buffer_null.end(), 0);
    return buffer;
  }

  void CalcBuffer() {
    calc_pending = false;
    if (has_calc && ds.OnCalcFields) Calc(PlainBuffer());
  }

  // The buffer changed: calculate now, or at the next read of a calculated field or
  // post when controls are disabled (the handler sees the same values either way).
  void BufferChanged() {
    if (ds.ControlsDisabled() && has_calc && ds.OnCalcFields) {
      calc_pending = true;
    } else {
      CalcBuffer();
    }
  }

  // ---- Calculated fields

  void Calc(Row& row) {
    if (!has_calc || !ds.OnCalcFields) return;
    for (const TField* f : ds.field_list_) {
      if (f->Calculated()) row[f->Index()] = Variant();
    }
    // A temporary state: no notifications, restored on every path.
    struct Scope {
      TClientDataSet& ds;
      TDataSetState saved;
      Row* saved_row;
      ~Scope() {
        ds.state_ = saved;
        ds.impl_->calc_row = saved_row;
      }
    } scope{ds, ds.state_, calc_row};
    ds.state_ = dsCalcFields;
    calc_row = &row;
    ds.OnCalcFields(ds);
  }

  void RecalcStored(long id) {
    if (!has_calc || !ds.OnCalcFields || id < 0) return;
    if (editing && static_cast<std::uint32_t>(id) == edit_id) {
      CalcBuffer();
      return;
    }
    PackedRow& stored = records[id];
    if (stored.Empty()) return;
    Row row = stored.Unpack(ds.field_list_.size());
    Calc(row);
    PackedRow packed = PackedRow::Pack(row);
    if (!(packed == stored)) stored = std::move(packed);
  }

  void RecalcCurrent() { RecalcStored(CurrentId()); }

  void RecalcAll() {
    if (!has_calc || !ds.OnCalcFields) return;
    for (std::uint32_t id : view) RecalcStored(id);
  }

  // ---- Order

  int CompareIds(std::uint32_t a, std::uint32_t b) const {
    for (int f : index_fields) {
      const int c = CompareKeys(KeyOf(records[a], f), KeyOf(records[b], f));
      if (c != 0) return c;
    }
    return a < b ? -1 : (a == b ? 0 : 1);  // equal keys: order of creation
  }

  // The whole view in index order. Keys are taken out once into contiguous cells, and
  // the strings of each key field are replaced by their rank among the column's distinct
  // strings, so that the sort compares numbers only (a grid holds few distinct products).
  void SortView() {
    struct Cell {
      int rank;  // as SortKey: 0 null, 1 number, 2 string
      double value;
      bool operator<(const Cell& o) const { return rank != o.rank ? rank < o.rank : value < o.value; }
      bool operator!=(const Cell& o) const { return rank != o.rank || value != o.value; }
    };
    const std::size_t k = index_fields.size(), n = view.size();
    std::vector<Cell> cells(n * k);
    std::unordered_map<std::string_view, std::uint32_t> distinct;
    std::vector<std::string_view> texts;
    for (std::size_t j = 0; j < k; ++j) {
      distinct.clear();
      texts.clear();
      for (std::size_t p = 0; p < n; ++p) {
        const SortKey key = KeyOf(records[view[p]], index_fields[j]);
        Cell& cell = cells[p * k + j];
        cell.rank = key.rank;
        cell.value = key.number;
        if (key.rank == 2) {
          const auto [it, added] = distinct.try_emplace(key.text, static_cast<std::uint32_t>(texts.size()));
          if (added) texts.push_back(key.text);
          cell.value = it->second;  // provisional: order of first sight
        }
      }
      if (texts.empty()) continue;
      std::vector<std::uint32_t> by_text(texts.size());
      std::iota(by_text.begin(), by_text.end(), 0u);
      std::sort(by_text.begin(), by_text.end(), [&](std::uint32_t a, std::uint32_t b) { return texts[a] < texts[b]; });
      std::vector<double> rank_of(texts.size());
      for (std::size_t r = 0; r < by_text.size(); ++r) rank_of[by_text[r]] = static_cast<double>(r);
      for (std::size_t p = 0; p < n; ++p) {
        Cell& cell = cells[p * k + j];
        if (cell.rank == 2) cell.value = rank_of[static_cast<std::size_t>(cell.value)];
      }
    }
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      const Cell* ca = &cells[a * k];
      const Cell* cb = &cells[b * k];
      for (std::size_t j = 0; j < k; ++j) {
        if (ca[j] != cb[j]) return ca[j] < cb[j];
      }
      return view[a] < view[b];
    });
    std::vector<std::uint32_t> sorted_view(n);
    for (std::size_t i = 0; i < n; ++i) sorted_view[i] = view[order[i]];
    view = std::move(sorted_view);
  }

  // Places the waiting records; the current record stays current.
  void EnsureOrder() {
    if (index_fields.empty() || sorted >= view.size()) {
      sorted = view.size();
      return;
    }
    if (inserting) return;  // the new record has no keys yet; its post places everything
    const long cur_id = CurrentId();
    if (view.size() - sorted <= 8) {
      const std::vector<std::uint32_t> waiting(view.begin() + static_cast<long>(sorted), view.end());
      view.resize(sorted);
      for (std::uint32_t id : waiting) {
        const auto at = std::upper_bound(view.begin(), view.end(), id,
                                         [&](std::uint32_t a, std::uint32_t b) { return CompareIds(a, b) < 0; });
        view.insert(at, id);
      }
    } else {
      SortView();
    }
    sorted = view.size();
    if (cur_id >= 0) cur = std::find(view.begin(), view.end(), static_cast<std::uint32_t>(cur_id)) - view.begin();
  }

  const std::vector<std::uint32_t>& Natural() const { return index_fields.empty() ? view : natural; }

  // Switches to another index (the fields' positions; empty: natural order) and orders the view.
  void SetIndex(std::vector<int> fields) {
    if (index_fields.empty() && !fields.empty()) natural = view;
    if (!index_fields.empty() && fields.empty()) {
      view = std::move(natural);
      natural.clear();
    }
    index_fields = std::move(fields);
    if (!index_fields.empty()) {
      view = natural;
      SortView();
    }
    sorted = view.size();
  }

  // Moves the record at view position `pos` (whose keys changed) to where it belongs.
  void Reposition(long pos) {
    if (index_fields.empty()) return;
    const std::uint32_t id = view[pos];
    if (static_cast<std::size_t>(pos) < sorted) {
      view.erase(view.begin() + pos);
      --sorted;
      view.push_back(id);
      cur = static_cast<long>(view.size()) - 1;
    }
    if (!ds.ControlsDisabled()) EnsureOrder();
  }

  void RemoveFromOrder(long pos) {
    const std::uint32_t id = view[pos];
    view.erase(view.begin() + pos);
    if (static_cast<std::size_t>(pos) < sorted) --sorted;
    if (!index_fields.empty()) natural.erase(std::find(natural.begin(), natural.end(), id));
  }

  bool KeysDiffer(const PackedRow& a, const PackedRow& b) const {
    for (int f : index_fields) {
      if (CompareKeys(KeyOf(a, f), KeyOf(b, f)) != 0) return true;
    }
    return false;
  }

  // ---- Editing

  // Leaves edit or insert state without events: the inserted record goes away.
  void DropEdit() {
    if (!editing) return;
    if (inserting) {
      const long pos = cur;
      RemoveFromOrder(pos);
      if (edit_id + 1 == records.size()) records.pop_back();
      cur = view.empty() ? -1 : std::min<long>(pos, static_cast<long>(view.size()) - 1);
    }
    editing = inserting = false;
    calc_pending = false;
    ds.modified_ = false;
  }

  // Writes the edit buffer into the record and the change log.
  void WriteBuffer() {
    const std::uint32_t id = edit_id;
    PackedRow packed = PackedRow::Pack(buffer, buffer_null.data());
    if (inserting) {
      log.Add(id, RowKind::Inserted, PackedRow());
      records[id] = std::move(packed);
      editing = inserting = false;
      Reposition(cur);
      return;
    }
    editing = false;
    PackedRow& stored = records[id];
    if (packed == stored) return;  // nothing changed: nothing to log
    const bool keys_changed = KeysDiffer(packed, stored);
    if (log.Find(id) == nullptr) log.Add(id, RowKind::Modified, std::move(stored));
    stored = std::move(packed);
    if (keys_changed) Reposition(cur);
  }

  void ClearRecords() {
    records.clear();
    natural.clear();
    view.clear();
    sorted = 0;
    cur = -1;
    log.Reset();
  }

  void FieldsChanged() {
    has_calc = std::any_of(ds.field_list_.begin(), ds.field_list_.end(), [](const TField* f) { return f->Calculated(); });
    std::vector<int> fields;
    for (const std::string& name : SplitNames(ds.index_field_names_)) {
      if (const TField* f = ds.FindField(name)) fields.push_back(f->Index());
    }
    SetIndex(std::move(fields));
  }

  std::vector<int> DataFields() const {
    std::vector<int> out;
    for (const TField* f : ds.field_list_) {
      if (!f->Calculated()) out.push_back(f->Index());
    }
    return out;
  }

  Row Values(const PackedRow& row, const std::vector<int>& fields) const {
    Row out;
    out.reserve(fields.size());
    for (int f : fields) out.push_back(row.Empty() ? Variant() : row.Get(f));
    return out;
  }
};

// ---- Construction and fields

TClientDataSet::TClientDataSet(std::string name) : name_(std::move(name)), impl_(std::make_unique<Impl>(*this)) {}

TClientDataSet::~TClientDataSet() {
  for (TDataSource* source : std::vector<TDataSource*>(sources_)) source->SetDataSet(nullptr);
}

std::vector<FieldDef> TClientDataSet::FieldDefs() const {
  std::vector<FieldDef> defs;
  defs.reserve(field_list_.size());
  for (const TField* f : field_list_) defs.push_back(f->Def());
  return defs;
}

void TClientDataSet::SetFieldDefs(std::vector<FieldDef> defs) {
  if (Active()) throw EDatabaseError(name_ + ": Cannot change the field definitions of an open dataset");
  fields_.clear();
  field_list_.clear();
  for (auto& def : defs) AddFieldDef(std::move(def));
  impl_->FieldsChanged();
}

void TClientDataSet::AddFieldDef(FieldDef def) {
  if (Active()) throw EDatabaseError(name_ + ": Cannot change the field definitions of an open dataset");
  if (FindField(def.name) != nullptr) throw EDatabaseError(name_ + ": Duplicate field name '" + def.name + "'");
  fields_.push_back(std::make_unique<TField>(*this, FieldCount(), std::move(def)));
  field_list_.push_back(fields_.back().get());
  impl_->FieldsChanged();
}

TField& TClientDataSet::FieldByName(const std::string& name) const {
  TField* field = FindField(name);
  if (field == nullptr) throw EDatabaseError(name_ + ": Field '" + name + "' not found");
  return *field;
}

TField* TClientDataSet::FindField(const std::string& name) const {
  for (TField* field : field_list_) {
    if (field->FieldName() == name) return field;
  }
  return nullptr;
}

// ---- Opening and data

void TClientDataSet::CreateDataSet() {
  if (field_list_.empty()) throw EDatabaseError(name_ + ": No field definitions to create the dataset from");
  impl_->DropEdit();
  impl_->ClearRecords();
  bof_ = eof_ = true;
  modified_ = false;
  SetState(dsBrowse);
  DataEvent(deDataSetChange);
  if (AfterScroll) AfterScroll(*this);
}

class TClientDataSet::TPreparedData {
 public:
  std::vector<FieldDef> defs;  // kept definitions, then the packet's new columns
  std::size_t kept = 0;
  std::vector<PackedRow> records;
};

void TClientDataSet::SetData(const DataPacket& packet) { SetData(*PrepareData(packet)); }

std::shared_ptr<TClientDataSet::TPreparedData> TClientDataSet::PrepareData(const DataPacket& packet) const {
  if (packet.IsDelta()) throw EDatabaseError(name_ + ": A delta packet cannot be loaded as data");

  // Everything is built aside first, so that a bad packet leaves the dataset as it was.
  std::vector<int> column_of;  // per kept field: its column in the packet, or -1
  std::vector<FieldDef> defs;  // kept definitions, then new columns
  std::vector<bool> used(packet.fields.size(), false);
  for (const TField* field : field_list_) {
    if (field->from_packet_) continue;
    int column = -1;
    if (!field->Calculated()) {
      column = packet.FieldIndex(field->FieldName());
      if (column < 0) {
        throw EDatabaseError(name_ + ": Field '" + field->FieldName() + "' not found in the data packet");
      }
      used[column] = true;
    }
    column_of.push_back(column);
    defs.push_back(field->Def());
  }
  const std::size_t kept = defs.size();
  for (std::size_t c = 0; c < packet.fields.size(); ++c) {
    if (used[c]) continue;
    FieldDef def = packet.fields[c];
    def.calculated = false;
    column_of.push_back(static_cast<int>(c));
    defs.push_back(std::move(def));
  }
  std::vector<PackedRow> records;
  records.reserve(packet.rows.size());
  Row row(defs.size());
  for (const Row& source : packet.rows) {
    if (source.size() != packet.fields.size()) {
      throw EDatabaseError(name_ + ": A row of the data packet has " + std::to_string(source.size()) +
                           " values for " + std::to_string(packet.fields.size()) + " fields");
    }
    for (std::size_t f = 0; f < defs.size(); ++f) {
      row[f] = column_of[f] < 0 ? Variant() : CoerceToField(defs[f], source[column_of[f]]);
    }
    records.push_back(PackedRow::Pack(row));
  }
  auto prepared = std::make_shared<TPreparedData>();
  prepared->defs = std::move(defs);
  prepared->kept = kept;
  prepared->records = std::move(records);
  return prepared;
}

void TClientDataSet::SetData(TPreparedData& prepared) {
  const bool was_active = Active();  // links of a dataset that opens now start afresh anyway
  std::vector<FieldDef>& defs = prepared.defs;
  const std::size_t kept = prepared.kept;
  // Fields a previous load added are replaced unless the packet brings the same.
  impl_->DropEdit();
  impl_->ClearRecords();
  const bool layout_changed = FieldDefs() != defs;
  if (layout_changed) {
    std::erase_if(fields_, [](const std::unique_ptr<TField>& f) { return f->from_packet_; });
    for (std::size_t f = kept; f < defs.size(); ++f) {
      FieldDef& def = defs[f];
      fields_.push_back(std::make_unique<TField>(*this, 0, std::move(def)));
      fields_.back()->from_packet_ = true;
    }
    field_list_.clear();
    for (auto& field : fields_) {
      field->index_ = static_cast<int>(field_list_.size());
      field_list_.push_back(field.get());
    }
    impl_->FieldsChanged();
  }
  impl_->records = std::move(prepared.records);
  impl_->view.resize(impl_->records.size());
  std::iota(impl_->view.begin(), impl_->view.end(), 0u);
  std::vector<int> index = std::move(impl_->index_fields);
  impl_->index_fields.clear();  // the view just built is the natural order
  impl_->SetIndex(std::move(index));
  impl_->cur = impl_->view.empty() ? -1 : 0;
  bof_ = true;
  eof_ = impl_->view.empty();
  modified_ = false;
  SetState(dsBrowse);
  impl_->RecalcAll();
  if (layout_changed && was_active) DataEvent(deLayoutChange);
  DataEvent(deDataSetChange);
  if (AfterScroll) AfterScroll(*this);
}

DataPacket TClientDataSet::Data() const {
  DataPacket packet;
  const std::vector<int> fields = impl_->DataFields();
  for (int f : fields) packet.fields.push_back(field_list_[f]->Def());
  packet.rows.reserve(impl_->view.size());
  for (std::uint32_t id : impl_->Natural()) {
    const PackedRow& row = impl_->records[id];
    if (!row.Empty()) packet.rows.push_back(impl_->Values(row, fields));  // skips an unposted insert
  }
  return packet;
}

void TClientDataSet::EmptyDataSet() {
  RequireActive();
  CheckBrowseMode();  // a pending edit is posted (or dropped when untouched), never lost unseen
  impl_->ClearRecords();
  bof_ = eof_ = true;
  SetState(dsBrowse);
  DataEvent(deDataSetChange);
}

void TClientDataSet::Open() {
  if (Active()) return;
  if (field_list_.empty()) throw EDatabaseError(name_ + ": Missing data provider or data packet");
  CreateDataSet();
}

void TClientDataSet::Close() {
  if (!Active()) return;
  impl_->DropEdit();
  impl_->ClearRecords();
  bof_ = eof_ = true;
  modified_ = false;
  SetState(dsInactive);
}

// ---- Navigation

void TClientDataSet::First() {
  RequireActive();
  CheckBrowseMode();
  impl_->EnsureOrder();
  if (BeforeScroll) BeforeScroll(*this);
  const long old = impl_->cur;
  impl_->cur = impl_->view.empty() ? -1 : 0;
  bof_ = true;
  eof_ = impl_->view.empty();
  Scrolled(old);
}

void TClientDataSet::Last() {
  RequireActive();
  CheckBrowseMode();
  impl_->EnsureOrder();
  if (BeforeScroll) BeforeScroll(*this);
  const long old = impl_->cur;
  impl_->cur = static_cast<long>(impl_->view.size()) - 1;
  eof_ = true;
  bof_ = impl_->view.empty();
  Scrolled(old);
}

void TClientDataSet::Next() { MoveBy(1); }
void TClientDataSet::Prior() { MoveBy(-1); }

int TClientDataSet::MoveBy(int distance) {
  RequireActive();
  CheckBrowseMode();
  impl_->EnsureOrder();
  if (!((distance > 0 && !eof_) || (distance < 0 && !bof_))) return 0;
  if (BeforeScroll) BeforeScroll(*this);
  const long old = impl_->cur;
  const long last = static_cast<long>(impl_->view.size()) - 1;
  const long target = old + distance;
  impl_->cur = std::clamp<long>(target, 0, std::max<long>(last, 0));
  if (last < 0) impl_->cur = -1;
  bof_ = distance < 0 && target < 0;
  eof_ = distance > 0 && target > last;
  if (last < 0) bof_ = eof_ = true;
  Scrolled(old);
  return static_cast<int>(impl_->cur - old);
}

void TClientDataSet::Scrolled(long old_position) {
  if (impl_->cur != old_position) {
    impl_->RecalcCurrent();
    DataEvent(deDataSetScroll, nullptr, static_cast<int>(impl_->cur - old_position));
  }
  if (AfterScroll) AfterScroll(*this);
}

bool TClientDataSet::IsEmpty() const { return impl_->view.empty(); }

int TClientDataSet::RecordCount() const { return static_cast<int>(impl_->view.size()); }

int TClientDataSet::RecNo() const {
  impl_->EnsureOrder();
  return static_cast<int>(impl_->cur + 1);
}

void TClientDataSet::SetRecNo(int recno) {
  RequireActive();
  if (recno < 1 || recno > RecordCount()) {
    throw EDatabaseError(name_ + ": Record number " + std::to_string(recno) + " out of range");
  }
  CheckBrowseMode();  // may drop an untouched new record: the last number may be gone
  impl_->EnsureOrder();
  recno = std::min(recno, RecordCount());
  if (recno < 1 || recno == RecNo()) return;
  if (BeforeScroll) BeforeScroll(*this);
  const long old = impl_->cur;
  impl_->cur = recno - 1;
  bof_ = eof_ = false;
  Scrolled(old);
}

bool TClientDataSet::Locate(const std::string& field_names, const std::vector<Variant>& values) {
  RequireActive();
  const std::vector<std::string> names = SplitNames(field_names);
  if (names.size() != values.size()) {
    throw EDatabaseError(name_ + ": Locate needs one value per field of '" + field_names + "'");
  }
  std::vector<int> fields;
  std::vector<Variant> wanted;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const TField& field = FieldByName(names[i]);
    fields.push_back(field.Index());
    try {
      wanted.push_back(CoerceToField(field.Def(), values[i]));
    } catch (const EDatabaseError&) {
      return false;  // a value the field cannot hold matches no record
    }
  }
  CheckBrowseMode();
  impl_->EnsureOrder();
  const auto& view = impl_->view;
  for (std::size_t pos = 0; pos < view.size(); ++pos) {
    bool match = true;
    for (std::size_t i = 0; i < fields.size() && match; ++i) match = impl_->Stored(view[pos], fields[i]) == wanted[i];
    if (!match) continue;
    if (BeforeScroll) BeforeScroll(*this);
    const long old = impl_->cur;
    impl_->cur = static_cast<long>(pos);
    bof_ = eof_ = false;
    Scrolled(old);
    return true;
  }
  return false;
}

// ---- Editing

void TClientDataSet::Insert() { InsertRecord(false); }
void TClientDataSet::Append() { InsertRecord(true); }

void TClientDataSet::InsertRecord(bool append) {
  RequireActive();
  CheckBrowseMode();
  if (BeforeInsert) BeforeInsert(*this);
  if (BeforeScroll) BeforeScroll(*this);
  Impl& s = *impl_;
  // Appends made while controls are disabled wait to be ordered (a bulk load sorts once).
  if (!append || !ControlsDisabled()) s.EnsureOrder();
  const auto id = static_cast<std::uint32_t>(s.records.size());
  s.records.emplace_back();
  const long pos = append || s.cur < 0 ? static_cast<long>(s.view.size()) : s.cur;
  if (!s.index_fields.empty()) s.natural.push_back(id);  // with an index, new records go last in natural order
  s.view.insert(s.view.begin() + pos, id);
  if (static_cast<std::size_t>(pos) < s.sorted) ++s.sorted;
  s.cur = pos;
  s.StartEmptyBuffer(field_list_.size());
  s.edit_id = id;
  s.editing = s.inserting = true;
  modified_ = false;
  bof_ = eof_ = false;
  SetState(dsInsert);
  s.BufferChanged();
  DataEvent(deDataSetChange);
  if (AfterInsert) AfterInsert(*this);
  if (AfterScroll) AfterScroll(*this);
}

void TClientDataSet::Edit() {
  RequireActive();
  if (impl_->editing) return;
  if (IsEmpty()) {
    Insert();
    return;
  }
  if (BeforeEdit) BeforeEdit(*this);
  Impl& s = *impl_;
  s.EnsureOrder();
  s.edit_id = static_cast<std::uint32_t>(s.CurrentId());
  s.StartBuffer(s.records[s.edit_id].Unpack(field_list_.size()));
  s.editing = true;
  s.inserting = false;
  modified_ = false;
  SetState(dsEdit);
  DataEvent(deRecordChange);
  if (AfterEdit) AfterEdit(*this);
}

void TClientDataSet::Post() {
  if (!impl_->editing) throw EDatabaseError(name_ + ": Dataset not in edit or insert mode");
  UpdateRecord();
  if (BeforePost) BeforePost(*this);
  impl_->CalcBuffer();
  for (const TField* field : field_list_) {
    if (field->Required() && !field->Calculated() && impl_->BufferValue(field->Index()).IsNull()) {
      throw EDatabaseError(name_ + ": Field '" + field->FieldName() + "' must have a value");
    }
  }
  impl_->WriteBuffer();
  modified_ = false;
  if (!impl_->view.empty()) bof_ = eof_ = false;
  SetState(dsBrowse);
  // The posted record is current and its calculated fields were just computed from the
  // same values; a bulk change skips computing them a second time.
  if (!ControlsDisabled()) impl_->RecalcCurrent();
  DataEvent(deDataSetChange);
  if (AfterPost) AfterPost(*this);
}

void TClientDataSet::Cancel() {
  if (!impl_->editing) return;
  if (BeforeCancel) BeforeCancel(*this);
  const bool was_insert = impl_->inserting;
  impl_->DropEdit();
  if (was_insert) bof_ = eof_ = impl_->view.empty();
  SetState(dsBrowse);
  DataEvent(deDataSetChange);
  if (AfterCancel) AfterCancel(*this);
}

void TClientDataSet::Delete() {
  RequireActive();
  if (impl_->inserting) {
    Cancel();
    return;
  }
  if (IsEmpty()) throw EDatabaseError(name_ + ": Cannot perform this operation on an empty dataset");
  if (BeforeDelete) BeforeDelete(*this);
  Impl& s = *impl_;
  s.DropEdit();
  s.EnsureOrder();
  const long pos = s.cur;
  const std::uint32_t id = s.view[pos];
  LogEntry* entry = s.log.Find(id);
  if (entry == nullptr) {
    s.log.Add(id, RowKind::Deleted, std::move(s.records[id]));
  } else if (entry->kind == RowKind::Inserted) {
    s.log.Remove(id);  // an insert and its delete cancel out
  } else {
    entry->kind = RowKind::Deleted;  // keeps the values as at the last merge
  }
  s.records[id] = PackedRow();
  s.RemoveFromOrder(pos);
  const long count = static_cast<long>(s.view.size());
  s.cur = count == 0 ? -1 : std::min(pos, count - 1);
  eof_ = count == 0 || pos >= count;
  bof_ = count == 0;
  SetState(dsBrowse);
  s.RecalcCurrent();
  DataEvent(deDataSetChange);
  if (AfterDelete) AfterDelete(*this);
  if (AfterScroll) AfterScroll(*this);
}

void TClientDataSet::CheckBrowseMode() {
  if (!impl_->editing) return;
  UpdateRecord();
  if (modified_) {
    Post();
  } else {
    Cancel();
  }
}

// ---- Order

void TClientDataSet::SetIndexFieldNames(const std::string& names) {
  for (const std::string& name : SplitNames(names)) {
    const TField& field = FieldByName(name);  // an unknown name changes nothing
    (void)field;
  }
  if (Active()) CheckBrowseMode();
  const long cur_id = impl_->CurrentId();
  index_field_names_ = names;
  impl_->FieldsChanged();
  if (!Active()) return;
  if (cur_id >= 0) {
    impl_->cur = std::find(impl_->view.begin(), impl_->view.end(), static_cast<std::uint32_t>(cur_id)) -
                 impl_->view.begin();
  }
  DataEvent(deDataSetChange);
}

// ---- Change log

int TClientDataSet::ChangeCount() const { return static_cast<int>(impl_->log.Size()); }

DataPacket TClientDataSet::Delta() const {
  DataPacket delta;
  delta.kind = DataPacket::Kind::Delta;
  const std::vector<int> fields = impl_->DataFields();
  for (int f : fields) delta.fields.push_back(field_list_[f]->Def());
  const Row nulls(fields.size());
  for (const LogEntry* entry : impl_->log.InOrder()) {
    DeltaRow change;
    change.kind = entry->kind;
    change.old_values = entry->kind == RowKind::Inserted ? nulls : impl_->Values(entry->original, fields);
    change.new_values = entry->kind == RowKind::Deleted ? nulls : impl_->Values(impl_->records[entry->id], fields);
    delta.changes.push_back(std::move(change));
  }
  return delta;
}

void TClientDataSet::MergeChangeLog() { impl_->log.Clear(); }

// ---- Controls

void TClientDataSet::DisableControls() {
  if (disable_count_ == 0) {
    impl_->disable_state = state_;
    impl_->layout_changed_while_disabled = false;
  }
  ++disable_count_;
}

void TClientDataSet::EnableControls() {
  if (disable_count_ == 0) return;
  if (--disable_count_ > 0) return;
  if (impl_->calc_pending) impl_->CalcBuffer();
  impl_->EnsureOrder();
  if (impl_->disable_state != state_) DataEvent(deUpdateState);
  if (state_ != dsInactive) {
    if (impl_->layout_changed_while_disabled) DataEvent(deLayoutChange);
    DataEvent(deDataSetChange);
  }
}

// ---- Field access

Variant TClientDataSet::GetFieldValue(int field_index) const {
  if (impl_->calc_pending && impl_->calc_row == nullptr && field_list_[field_index]->Calculated()) {
    impl_->CalcBuffer();
  }
  return impl_->Read(field_index);
}

void TClientDataSet::SetFieldValue(int field_index, const Variant& value) {
  TField& field = *field_list_.at(field_index);
  if (state_ == dsCalcFields) {
    if (!field.Calculated()) {
      throw EDatabaseError(name_ + ": Field '" + field.FieldName() + "' cannot be modified while calculating");
    }
    (*impl_->calc_row)[field_index] = CoerceToField(field.Def(), value);
    return;
  }
  if (!impl_->editing) throw EDatabaseError(name_ + ": Dataset not in edit or insert mode");
  if (field.Calculated()) {
    throw EDatabaseError(name_ + ": Field '" + field.FieldName() + "' is calculated and cannot be modified");
  }
  Variant& slot = impl_->buffer[field_index];
  if (value.IsNull()) {
    impl_->buffer_null[field_index] = 1;
  } else {
    if (StoresAsIs(field.Def(), value)) {
      slot = value;  // a string slot keeps its capacity
    } else {
      slot = CoerceToField(field.Def(), value);  // may turn "" into null
    }
    impl_->buffer_null[field_index] = slot.IsNull() ? 1 : 0;
  }
  modified_ = true;
  impl_->BufferChanged();
  if (!ControlsDisabled()) DataEvent(deFieldChange, &field);
}

Variant TClientDataSet::GetOldFieldValue(int field_index) const {
  const Impl& s = *impl_;
  const long id = s.read_id >= 0 ? s.read_id : (s.editing ? static_cast<long>(s.edit_id) : s.CurrentId());
  if (id < 0 || (s.inserting && static_cast<std::uint32_t>(id) == s.edit_id)) return Variant();
  const LogEntry* entry = s.log.Find(static_cast<std::uint32_t>(id));
  if (entry == nullptr) return s.Stored(id, field_index);
  if (entry->kind == RowKind::Inserted) return Variant();
  return entry->original.Get(field_index);
}

// ---- Notifications

void TClientDataSet::DataEvent(TDataEvent event, TField* field, int distance) {
  if (ControlsDisabled()) {
    if (event == deLayoutChange) impl_->layout_changed_while_disabled = true;
    return;
  }
  for (TDataSource* source : std::vector<TDataSource*>(sources_)) source->DataEvent(event, field, distance);
}

void TClientDataSet::UpdateRecord() {
  if (!impl_->editing) throw EDatabaseError(name_ + ": Dataset not in edit or insert mode");
  DataEvent(deUpdateRecord);
}

void TClientDataSet::SetState(TDataSetState state) {
  if (state_ == state) return;
  state_ = state;
  DataEvent(deUpdateState);
}

void TClientDataSet::RequireActive() const {
  if (!Active()) throw EDatabaseError(name_ + ": Cannot perform this operation on a closed dataset");
}

std::string TClientDataSet::Describe(const std::string& field_names) const {
  if (!Active()) return "state=inactive";
  std::vector<const TField*> fields;
  for (const std::string& name : SplitNames(field_names)) fields.push_back(&FieldByName(name));
  if (fields.empty() && !field_list_.empty()) fields.push_back(field_list_.front());
  impl_->EnsureOrder();
  auto& self = const_cast<TClientDataSet&>(*this);
  std::string out;
  for (int recno = 1; recno <= RecordCount(); ++recno) {
    TReadRecordScope scope(self, recno);
    out += std::to_string(recno) + ":";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) out += '|';
      out += fields[i]->AsString();
    }
    if (recno == impl_->cur + 1) out += "*";
    out += " ";
  }
  out += std::string("state=") + DataSetStateName(state_) + " log=" + std::to_string(ChangeCount());
  return out;
}

// ---- Reading any record

TReadRecordScope::TReadRecordScope(TClientDataSet& dataset, int recno) : dataset_(dataset) {
  auto& s = *dataset.impl_;
  s.EnsureOrder();
  if (recno < 1 || recno > static_cast<int>(s.view.size())) {
    throw EDatabaseError(dataset.Name() + ": Record number " + std::to_string(recno) + " out of range");
  }
  previous_ = s.read_id;
  s.read_id = s.view[recno - 1];
}

TReadRecordScope::~TReadRecordScope() { dataset_.impl_->read_id = previous_; }

}  // namespace rt
