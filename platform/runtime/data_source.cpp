#include "platform/runtime/data_source.h"

#include <algorithm>

#include "platform/runtime/client_dataset.h"

namespace rt {

const char* DataSetStateName(TDataSetState state) {
  switch (state) {
    case dsInactive:
      return "inactive";
    case dsBrowse:
      return "browse";
    case dsEdit:
      return "edit";
    case dsInsert:
      return "insert";
    case dsCalcFields:
      return "calcfields";
  }
  return "?";
}

// ---- TDataLink

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == source_) return;
  if (source_ != nullptr) source_->RemoveLink(this);
  source_ = nullptr;
  if (source != nullptr) source->AddLink(this);
}

TClientDataSet* TDataLink::DataSet() const { return source_ != nullptr ? source_->DataSet() : nullptr; }

bool TDataLink::Active() const {
  const TClientDataSet* dataset = DataSet();
  return dataset != nullptr && dataset->Active();
}

bool TDataLink::Editing() const {
  const TClientDataSet* dataset = DataSet();
  return dataset != nullptr && (dataset->State() == dsEdit || dataset->State() == dsInsert);
}

// ---- TCallbackDataLink

void TCallbackDataLink::ActiveChanged() {
  if (on_active_changed) on_active_changed();
}
void TCallbackDataLink::DataSetChanged() {
  if (on_data_set_changed) on_data_set_changed();
}
void TCallbackDataLink::DataSetScrolled(int distance) {
  if (on_data_set_scrolled) on_data_set_scrolled(distance);
}
void TCallbackDataLink::RecordChanged(TField* field) {
  if (on_record_changed) on_record_changed(field);
}
void TCallbackDataLink::StateChanged() {
  if (on_state_changed) on_state_changed();
}
void TCallbackDataLink::LayoutChanged() {
  if (on_layout_changed) on_layout_changed();
}
void TCallbackDataLink::UpdateData() {
  if (on_update_data) on_update_data();
}
bool TCallbackDataLink::FocusControl(TField& field) { return on_focus_control ? on_focus_control(field) : false; }

// ---- TDataSource

TDataSource::TDataSource(std::string name) : name_(std::move(name)) {}

TDataSource::~TDataSource() {
  // The owner's handlers may reach members already gone: they are not told of the end.
  OnStateChange = nullptr;
  OnDataChange = nullptr;
  OnUpdateData = nullptr;
  SetDataSet(nullptr);
  for (TDataLink* link : links_) link->source_ = nullptr;
}

void TDataSource::SetDataSet(TClientDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset_ != nullptr) {
    auto& sources = dataset_->sources_;
    sources.erase(std::remove(sources.begin(), sources.end(), this), sources.end());
  }
  dataset_ = dataset;
  if (dataset_ != nullptr) dataset_->sources_.push_back(this);
  // Another dataset: everything the links show may differ, so each hears it once.
  const TDataSetState old = state_;
  state_ = dataset_ != nullptr ? dataset_->State() : dsInactive;
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->ActiveChanged();
  if (state_ != old && OnStateChange) OnStateChange(*this);
}

void TDataSource::AddLink(TDataLink* link) {
  links_.push_back(link);
  link->source_ = this;
  link->ActiveChanged();
}

void TDataSource::RemoveLink(TDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
  link->source_ = nullptr;
}

void TDataSource::UpdateState() {
  const TDataSetState now = dataset_ != nullptr ? dataset_->State() : dsInactive;
  if (now == state_) return;
  const bool was_active = state_ != dsInactive;
  state_ = now;
  // A copy: a reaction may attach or detach links.
  for (TDataLink* link : std::vector<TDataLink*>(links_)) {
    if (was_active != (now != dsInactive)) link->ActiveChanged();
    link->StateChanged();
  }
  if (OnStateChange) OnStateChange(*this);
}

void TDataSource::DataEvent(TDataEvent event, TField* field, int distance) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (state_ == dsInactive) return;
  const std::vector<TDataLink*> links(links_);
  switch (event) {
    case deFieldChange:
      for (TDataLink* link : links) link->RecordChanged(field);
      if (OnDataChange) OnDataChange(*this, field);
      break;
    case deRecordChange:
      for (TDataLink* link : links) link->RecordChanged(nullptr);
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case deDataSetChange:
      for (TDataLink* link : links) link->DataSetChanged();
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case deDataSetScroll:
      for (TDataLink* link : links) link->DataSetScrolled(distance);
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case deLayoutChange:
      for (TDataLink* link : links) link->LayoutChanged();
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case deUpdateRecord:
      for (TDataLink* link : links) link->UpdateData();
      if (OnUpdateData) OnUpdateData(*this);
      break;
    case deFocusControl:
      if (field == nullptr) break;
      for (TDataLink* link : links) {
        if (link->FocusControl(*field)) break;
      }
      break;
    case deUpdateState:
      break;
  }
}

}  // namespace rt
