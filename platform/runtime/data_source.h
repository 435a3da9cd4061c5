// The data source joins a dataset to the controls that show it. Controls attach through
// data links and are told, by the dataset through its data sources:
//   - ActiveChanged: the dataset opened or closed;
//   - DataSetChanged: the set of rows changed (load, insert, delete, new order, and the
//     single catch-up notice sent by the final EnableControls);
//   - DataSetScrolled: another record became current;
//   - RecordChanged(field): a value of the current record changed (field null: several);
//   - StateChanged: browse / edit / insert / inactive;
//   - LayoutChanged: the fields changed;
//   - UpdateData: a post is about to happen, write any pending editor text now;
//   - FocusControl(field): show and focus the control of this field (true when done).
// While the dataset's controls are disabled none of these is sent (see
// TClientDataSet::DisableControls), and neither are the source's own events.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace rt {

class TClientDataSet;
class TDataSource;
class TField;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsCalcFields };
const char* DataSetStateName(TDataSetState state);  // "inactive", "browse", "edit", ...

enum TDataEvent {
  deFieldChange,    // info: the field
  deRecordChange,   // whole current record
  deDataSetChange,  // set of rows
  deDataSetScroll,  // info: distance
  deLayoutChange,   // fields
  deUpdateRecord,   // pull editor text before a post
  deUpdateState,    // state changed
  deFocusControl,   // info: the field
};

class TDataLink {
 public:
  TDataLink() = default;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;
  virtual ~TDataLink();

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* source);  // detaches from the previous one
  TClientDataSet* DataSet() const;
  bool Active() const;   // has an open dataset
  bool Editing() const;  // the dataset is in edit or insert state

  virtual void ActiveChanged() {}
  virtual void DataSetChanged() {}
  virtual void DataSetScrolled(int /*distance*/) {}
  virtual void RecordChanged(TField* /*field*/) {}
  virtual void StateChanged() {}
  virtual void LayoutChanged() {}
  virtual void UpdateData() {}
  virtual bool FocusControl(TField& /*field*/) { return false; }

 private:
  friend class TDataSource;
  TDataSource* source_ = nullptr;
};

// A data link whose reactions are plain callbacks (any left empty is ignored).
class TCallbackDataLink : public TDataLink {
 public:
  std::function<void()> on_active_changed;
  std::function<void()> on_data_set_changed;
  std::function<void(int)> on_data_set_scrolled;
  std::function<void(TField*)> on_record_changed;
  std::function<void()> on_state_changed;
  std::function<void()> on_layout_changed;
  std::function<void()> on_update_data;
  std::function<bool(TField&)> on_focus_control;

  void ActiveChanged() override;
  void DataSetChanged() override;
  void DataSetScrolled(int distance) override;
  void RecordChanged(TField* field) override;
  void StateChanged() override;
  void LayoutChanged() override;
  void UpdateData() override;
  bool FocusControl(TField& field) override;
};

class TDataSource {
 public:
  using TNotifyEvent = std::function<void(TDataSource& sender)>;
  using TDataChangeEvent = std::function<void(TDataSource& sender, TField* field)>;

  explicit TDataSource(std::string name = "");
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;
  ~TDataSource();  // leaves its dataset and releases its links

  const std::string& Name() const { return name_; }
  TClientDataSet* DataSet() const { return dataset_; }
  void SetDataSet(TClientDataSet* dataset);

  // The state as last told to this source: it lags the dataset's while its controls are
  // disabled, and catches up on the final EnableControls.
  TDataSetState State() const { return state_; }

  TNotifyEvent OnStateChange;     // every change of State()
  TDataChangeEvent OnDataChange;  // field change (field) or record / rows / scroll (null)
  TNotifyEvent OnUpdateData;      // before a post, after the links' UpdateData

  const std::vector<TDataLink*>& Links() const { return links_; }

  // Sent by the dataset (only while its controls are enabled). info: the field for
  // deFieldChange / deFocusControl, the distance for deDataSetScroll.
  void DataEvent(TDataEvent event, TField* field = nullptr, int distance = 0);

 private:
  friend class TDataLink;
  friend class TClientDataSet;
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);
  void UpdateState();

  std::string name_;
  TClientDataSet* dataset_ = nullptr;
  TDataSetState state_ = dsInactive;
  std::vector<TDataLink*> links_;
};

}  // namespace rt
