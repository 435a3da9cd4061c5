#include "platform/runtime/client_dataset.h"

#include <algorithm>
#include <cstdint>

#include "platform/runtime/change_log.h"
#include "platform/runtime/packed_row.h"
#include "platform/runtime/record_order.h"

namespace rt {

namespace {

// True when the value is already of the field's type and size (the common case of a
// load), so that it can be stored without conversion.
bool StoresAsIs(const FieldDef& def, const Variant& value) {
  using T = Variant::Type;
  switch (value.type()) {
    case T::Null:
      return true;
    case T::String:
      // Bytes never undercount characters: within the size in bytes, within it in characters.
      return def.type == FieldType::String &&
             (def.size < 0 || value.AsString().size() <= static_cast<std::size_t>(def.size));
    case T::Float:
      return def.type == FieldType::Float;
    case T::Integer:
      return def.type == FieldType::Integer;
    case T::Boolean:
      return def.type == FieldType::Boolean;
    case T::DateTime:
      return def.type == FieldType::DateTime;
    default:
      return false;
  }
}

// The value as a field of this definition stores it: the value itself when it is already
// of the field's type and size, else its conversion, made in `converted`.
const Variant* AsStored(const FieldDef& def, const Variant& value, Variant& converted) {
  if (StoresAsIs(def, value)) return &value;
  converted = CoerceToField(def, value);
  return &converted;
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
  std::vector<PackedRow> records;  // by record id
  RecordOrder order{records};
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

  bool has_calc = false;
  Row* calc_row = nullptr;  // the record OnCalcFields is computing
  long read_id = -1;        // record read through a TReadRecordScope

  TDataSetState disable_state = dsInactive;
  bool layout_changed_while_disabled = false;

  long CurrentId() const { return cur >= 0 && cur < static_cast<long>(order.View().size()) ? order.View()[cur] : -1; }

  Variant Stored(long id, int field) const {
    if (id < 0 || static_cast<std::size_t>(id) >= records.size()) return Variant();
    return records[id].Get(field);
  }

  // The record field reads answer for: calculating, read scope, edit buffer, current.
  Variant Read(int field) const {
    if (calc_row != nullptr) return (*calc_row)[field];
    if (read_id >= 0) return RecordValue(read_id, field);
    if (editing) return BufferValue(field);
    return Stored(CurrentId(), field);
  }

  // A record's value: from the buffer for the record being edited.
  Variant RecordValue(long id, int field) const {
    if (editing && static_cast<std::uint32_t>(id) == edit_id) return BufferValue(field);
    return Stored(id, field);
  }

  Variant BufferValue(int field) const { return buffer_null[field] ? Variant() : buffer[field]; }

  void StartBuffer(Row values) {
    buffer = std::move(values);
    buffer_null.assign(buffer.size(), 0);
  }

  // `values` converted in place to the fields' types, as a field write converts;
  // calculated fields null. Throws for a value a field cannot take.
  void ConvertToFields(Row& values) const {
    for (const TField* field : ds.field_list_) {
      Variant& value = values[static_cast<std::size_t>(field->Index())];
      if (field->Calculated()) {
        value = Variant();
      } else if (!StoresAsIs(field->Def(), value)) {
        value = CoerceToField(field->Def(), value);
      }
    }
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
    for (std::uint32_t id : order.View()) RecalcStored(id);
  }

  // ---- Order

  // Places the records waiting for the index; the current record stays current. A new
  // record has no keys yet: its post places everything.
  void EnsureOrder() {
    if (inserting && order.Waiting()) return;
    order.Place(cur);
  }

  // Where the current record is, and the whole view, once the waiting records are
  // placed; without placing them.
  long PlacedCur() const { return inserting ? cur : order.PlacedPosition(cur); }
  std::vector<std::uint32_t> PlacedView() const { return inserting ? order.View() : order.PlacedView(); }

  // ---- Editing

  // Leaves edit or insert state without events: the inserted record goes away.
  void DropEdit() {
    if (!editing) return;
    if (inserting) {
      const long pos = cur;
      order.Remove(pos);
      if (edit_id + 1 == records.size()) records.pop_back();
      const long count = static_cast<long>(order.View().size());
      cur = count == 0 ? -1 : std::min<long>(pos, count - 1);
    }
    editing = inserting = false;
    calc_pending = false;
    ds.modified_ = false;
  }

  // The required fields of a record about to be written (`nulls`, when given, marks
  // values that read as null whatever the row holds).
  void CheckRequired(const Row& row, const unsigned char* nulls) const {
    for (const TField* field : ds.field_list_) {
      const auto f = static_cast<std::size_t>(field->Index());
      if (field->Required() && !field->Calculated() && ((nulls != nullptr && nulls[f]) || row[f].IsNull())) {
        throw EDatabaseError(ds.name_ + ": Field '" + field->FieldName() + "' must have a value");
      }
    }
  }

  // Writes the record being inserted and logs it.
  void WriteInserted(PackedRow packed) {
    log.Add(edit_id, RowKind::Inserted, PackedRow());
    records[edit_id] = std::move(packed);
    editing = inserting = false;
    order.Reposition(cur, !ds.ControlsDisabled());
  }

  // Writes the edit buffer into the record and the change log.
  void WriteBuffer() {
    const std::uint32_t id = edit_id;
    PackedRow packed = PackedRow::Pack(buffer, buffer_null.data());
    if (inserting) {
      WriteInserted(std::move(packed));
      return;
    }
    editing = false;
    PackedRow& stored = records[id];
    if (packed == stored) return;  // nothing changed: nothing to log
    const bool keys_changed = order.KeysDiffer(packed, stored);
    if (log.Find(id) == nullptr) log.Add(id, RowKind::Modified, std::move(stored));
    stored = std::move(packed);
    if (keys_changed) order.Reposition(cur, !ds.ControlsDisabled());
  }

  void ClearRecords() {
    records.clear();
    order.Clear();
    cur = -1;
    log.Reset();
  }

  void FieldsChanged() {
    has_calc =
        std::any_of(ds.field_list_.begin(), ds.field_list_.end(), [](const TField* f) { return f->Calculated(); });
    std::vector<int> fields;
    for (const std::string& name : SplitNames(ds.index_field_names_)) {
      if (const TField* f = ds.FindField(name)) fields.push_back(f->Index());
    }
    order.SetIndex(std::move(fields));
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
  // Values already of their field's type and size (nearly all) are packed where they are.
  std::vector<const Variant*> values(defs.size());
  Row converted(defs.size());
  for (const Row& source : packet.rows) {
    if (source.size() != packet.fields.size()) {
      throw EDatabaseError(name_ + ": A row of the data packet has " + std::to_string(source.size()) + " values for " +
                           std::to_string(packet.fields.size()) + " fields");
    }
    for (std::size_t f = 0; f < defs.size(); ++f) {
      values[f] = column_of[f] < 0 ? nullptr : AsStored(defs[f], source[column_of[f]], converted[f]);
    }
    records.push_back(PackedRow::PackReferenced(values));
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
  impl_->order.Reset(impl_->records.size());
  impl_->cur = impl_->records.empty() ? -1 : 0;
  bof_ = true;
  eof_ = impl_->records.empty();
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
  packet.rows.reserve(impl_->order.View().size());
  for (std::uint32_t id : impl_->order.Natural()) {
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
  impl_->cur = impl_->order.View().empty() ? -1 : 0;
  bof_ = true;
  eof_ = impl_->order.View().empty();
  Scrolled(old);
}

void TClientDataSet::Last() {
  RequireActive();
  CheckBrowseMode();
  impl_->EnsureOrder();
  if (BeforeScroll) BeforeScroll(*this);
  const long old = impl_->cur;
  impl_->cur = static_cast<long>(impl_->order.View().size()) - 1;
  eof_ = true;
  bof_ = impl_->order.View().empty();
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
  const long last = static_cast<long>(impl_->order.View().size()) - 1;
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

bool TClientDataSet::IsEmpty() const { return impl_->order.View().empty(); }

int TClientDataSet::RecordCount() const { return static_cast<int>(impl_->order.View().size()); }

// Where the current record will be once the waiting records are placed: a look, which
// places nothing.
int TClientDataSet::RecNo() const { return static_cast<int>(impl_->PlacedCur() + 1); }

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
  const std::vector<std::uint32_t>& view = impl_->order.View();
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
  const long pos = append || s.cur < 0 ? static_cast<long>(s.order.View().size()) : s.cur;
  s.order.Add(pos, id);
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

void TClientDataSet::AppendRecord(Row& values) {
  RequireActive();
  if (values.size() != field_list_.size()) {
    throw EDatabaseError(name_ + ": AppendRecord needs one value per field (" + std::to_string(values.size()) +
                         " given for " + std::to_string(field_list_.size()) + " fields)");
  }
  if (!BulkAppendApplies()) {
    AppendThroughFields(values);
    return;
  }
  CheckBrowseMode();
  Impl& s = *impl_;
  // What Append does with controls disabled and no handler, then what Post does, with
  // `values` as the buffer.
  const auto id = static_cast<std::uint32_t>(s.records.size());
  s.records.emplace_back();
  s.cur = static_cast<long>(s.order.View().size());
  s.order.Add(s.cur, id);
  s.edit_id = id;
  s.editing = s.inserting = true;
  SetState(dsInsert);
  try {
    s.ConvertToFields(values);
    s.Calc(values);
    s.CheckRequired(values, nullptr);
  } catch (...) {
    s.DropEdit();
    SetState(dsBrowse);
    throw;
  }
  s.WriteInserted(PackedRow::Pack(values));
  modified_ = false;
  bof_ = eof_ = false;
  SetState(dsBrowse);
}

bool TClientDataSet::BulkAppendApplies() const {
  return ControlsDisabled() && !BeforeInsert && !AfterInsert && !BeforeScroll && !AfterScroll && !BeforePost &&
         !AfterPost;
}

void TClientDataSet::AppendThroughFields(Row& values) {
  Append();
  try {
    for (TField* field : field_list_) {
      if (!field->Calculated() && !values[field->Index()].IsNull())
        SetFieldValue(field->Index(), values[field->Index()]);
    }
    Post();
  } catch (...) {
    if (impl_->inserting) Cancel();
    throw;
  }
  for (std::size_t f = 0; f < values.size(); ++f) values[f] = GetFieldValue(static_cast<int>(f));  // as stored
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
  impl_->CheckRequired(impl_->buffer, impl_->buffer_null.data());
  impl_->WriteBuffer();
  modified_ = false;
  if (!impl_->order.View().empty()) bof_ = eof_ = false;
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
  if (was_insert) bof_ = eof_ = impl_->order.View().empty();
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
  const std::uint32_t id = s.order.View()[pos];
  LogEntry* entry = s.log.Find(id);
  if (entry == nullptr) {
    s.log.Add(id, RowKind::Deleted, std::move(s.records[id]));
  } else if (entry->kind == RowKind::Inserted) {
    s.log.Remove(id);  // an insert and its delete cancel out
  } else {
    entry->kind = RowKind::Deleted;  // keeps the values as at the last merge
  }
  s.records[id] = PackedRow();
  s.order.Remove(pos);
  const long count = static_cast<long>(s.order.View().size());
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
    impl_->cur = impl_->order.PositionOf(static_cast<std::uint32_t>(cur_id));
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

// Const although it may compute the buffer's pending calculated fields: that is the
// deferred half of the field write that made them stale (controls disabled), and the
// handler depends only on the record's fields, so every read sees the values an eager
// calculation would have given.
Variant TClientDataSet::GetFieldValue(int field_index) const {
  if (impl_->calc_pending && impl_->calc_row == nullptr && field_list_[field_index]->Calculated()) {
    impl_->CalcBuffer();
  }
  return impl_->Read(field_index);
}

void TClientDataSet::GetFieldValue(int field_index, Variant& out) const {
  const Impl& s = *impl_;
  if (s.calc_row != nullptr || s.read_id >= 0 || s.editing) {
    out = GetFieldValue(field_index);
    return;
  }
  const long id = s.CurrentId();  // a stored record: its string straight into `out`
  if (id < 0 || static_cast<std::size_t>(id) >= s.records.size()) {
    out = Variant();
  } else {
    s.records[id].GetInto(field_index, out);
  }
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

// Reads the records in the order they will have, straight from storage and the edit
// buffer: it moves no cursor or read scope and places nothing. A calculated field of a
// buffer whose calculation waits (controls disabled) shows its last computed value.
std::string TClientDataSet::Describe(const std::string& field_names) const {
  if (!Active()) return "state=inactive";
  std::vector<const TField*> fields;
  for (const std::string& name : SplitNames(field_names)) fields.push_back(&FieldByName(name));
  if (fields.empty() && !field_list_.empty()) fields.push_back(field_list_.front());
  const Impl& s = *impl_;
  const std::vector<std::uint32_t> view = s.PlacedView();
  const long cur = s.PlacedCur();
  std::string out;
  for (std::size_t pos = 0; pos < view.size(); ++pos) {
    out += std::to_string(pos + 1) + ":";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) out += '|';
      out += ValueText(s.RecordValue(view[pos], fields[i]->Index()));
    }
    if (static_cast<long>(pos) == cur) out += "*";
    out += " ";
  }
  out += std::string("state=") + DataSetStateName(state_) + " log=" + std::to_string(ChangeCount());
  return out;
}

// ---- Reading any record

TReadRecordScope::TReadRecordScope(TClientDataSet& dataset, int recno) : dataset_(dataset) {
  auto& s = *dataset.impl_;
  s.EnsureOrder();
  if (recno < 1 || recno > static_cast<int>(s.order.View().size())) {
    throw EDatabaseError(dataset.Name() + ": Record number " + std::to_string(recno) + " out of range");
  }
  previous_ = s.read_id;
  s.read_id = s.order.View()[recno - 1];
}

TReadRecordScope::~TReadRecordScope() { dataset_.impl_->read_id = previous_; }

}  // namespace rt
