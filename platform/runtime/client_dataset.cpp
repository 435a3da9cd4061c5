#include "platform/runtime/client_dataset.h"

namespace rt {

// Skeleton: the storage arrives in the next change.
struct TClientDataSet::Impl {
  long read_id = -1;
};

TClientDataSet::TClientDataSet(std::string name) : name_(std::move(name)), impl_(std::make_unique<Impl>()) {}
TClientDataSet::~TClientDataSet() {
  for (TDataSource* source : std::vector<TDataSource*>(sources_)) source->SetDataSet(nullptr);
}
std::vector<FieldDef> TClientDataSet::FieldDefs() const {
  std::vector<FieldDef> defs;
  for (const TField* f : field_list_) defs.push_back(f->Def());
  return defs;
}
void TClientDataSet::SetFieldDefs(std::vector<FieldDef> defs) {
  fields_.clear();
  field_list_.clear();
  for (auto& d : defs) AddFieldDef(std::move(d));
}
void TClientDataSet::AddFieldDef(FieldDef def) {
  fields_.push_back(std::make_unique<TField>(*this, FieldCount(), std::move(def)));
  field_list_.push_back(fields_.back().get());
}
TField& TClientDataSet::FieldByName(const std::string& name) const {
  TField* f = FindField(name);
  if (f == nullptr) throw EDatabaseError(name_ + ": Field '" + name + "' not found");
  return *f;
}
TField* TClientDataSet::FindField(const std::string& name) const {
  for (TField* f : field_list_) {
    if (f->FieldName() == name) return f;
  }
  return nullptr;
}
void TClientDataSet::CreateDataSet() { state_ = dsBrowse; }
void TClientDataSet::SetData(const DataPacket&) { state_ = dsBrowse; }
DataPacket TClientDataSet::Data() const { return {}; }
void TClientDataSet::EmptyDataSet() {}
void TClientDataSet::Open() { state_ = dsBrowse; }
void TClientDataSet::Close() { state_ = dsInactive; }
void TClientDataSet::First() {}
void TClientDataSet::Last() {}
void TClientDataSet::Next() {}
void TClientDataSet::Prior() {}
int TClientDataSet::MoveBy(int) { return 0; }
bool TClientDataSet::IsEmpty() const { return true; }
int TClientDataSet::RecordCount() const { return 0; }
int TClientDataSet::RecNo() const { return 0; }
void TClientDataSet::SetRecNo(int) {}
bool TClientDataSet::Locate(const std::string&, const std::vector<Variant>&) { return false; }
void TClientDataSet::Insert() {}
void TClientDataSet::Append() {}
void TClientDataSet::Edit() {}
void TClientDataSet::Post() {}
void TClientDataSet::Cancel() {}
void TClientDataSet::Delete() {}
void TClientDataSet::CheckBrowseMode() {}
void TClientDataSet::SetIndexFieldNames(const std::string& names) { index_field_names_ = names; }
int TClientDataSet::ChangeCount() const { return 0; }
DataPacket TClientDataSet::Delta() const { return {}; }
void TClientDataSet::MergeChangeLog() {}
void TClientDataSet::DisableControls() { ++disable_count_; }
void TClientDataSet::EnableControls() {
  if (disable_count_ > 0) --disable_count_;
}
Variant TClientDataSet::GetFieldValue(int) const { return {}; }
void TClientDataSet::SetFieldValue(int, const Variant&) {}
Variant TClientDataSet::GetOldFieldValue(int) const { return {}; }
void TClientDataSet::DataEvent(TDataEvent event, TField* field, int distance) {
  if (ControlsDisabled()) return;
  for (TDataSource* source : std::vector<TDataSource*>(sources_)) source->DataEvent(event, field, distance);
}
void TClientDataSet::UpdateRecord() { DataEvent(deUpdateRecord); }
std::string TClientDataSet::Describe(const std::string&) const { return ""; }

TReadRecordScope::TReadRecordScope(TClientDataSet& dataset, int) : dataset_(dataset), previous_(-1) {}
TReadRecordScope::~TReadRecordScope() { dataset_.impl_->read_id = previous_; }

}  // namespace rt
