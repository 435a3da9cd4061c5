// The client dataset: an in-memory table of typed fields with a cursor, edit states, an
// optional order by fields, calculated fields and a change log.
//
// Records. Each record has a fixed id for its whole life; the rows are kept in a compact
// packed form (packed_row.h). Two lists of ids give the order (record_order.h): the
// natural (insertion) order and the current view (the natural order, or the order of
// IndexFieldNames). RecNo is the 1-based position in the view.
//
// Editing. Edit / Insert / Append copy the record into an edit buffer; field writes go
// to the buffer; Post writes it back, Cancel drops it (and the inserted record).
// Moving to another record while editing posts first when the buffer was modified and
// cancels otherwise; a post that throws leaves the cursor where it was.
//
// Events. A before-event that throws (EAbort or any other exception) stops the
// operation with the dataset exactly as it was; Post runs: links' UpdateData,
// BeforePost, required fields check, write, change log, state browse, AfterPost.
//
// Change log (change_log.h). One entry per changed record holding its values as at the
// last merge.
// Delta() gives every change not yet merged; MergeChangeLog() makes the current values
// the base. Delta and merge touch only the log, never every row.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/data_source.h"
#include "platform/runtime/field.h"
#include "platform/runtime/packet.h"

namespace rt {

class TClientDataSet {
 public:
  using TDataSetNotifyEvent = std::function<void(TClientDataSet& dataset)>;

  explicit TClientDataSet(std::string name = "");
  TClientDataSet(const TClientDataSet&) = delete;
  TClientDataSet& operator=(const TClientDataSet&) = delete;
  ~TClientDataSet();  // leaves its data sources

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // ---- Fields
  // The stored definitions (what the fields describe now). Setting them needs the
  // dataset closed and replaces every field.
  std::vector<FieldDef> FieldDefs() const;
  void SetFieldDefs(std::vector<FieldDef> defs);
  void AddFieldDef(FieldDef def);
  const std::vector<TField*>& Fields() const { return field_list_; }
  int FieldCount() const { return static_cast<int>(field_list_.size()); }
  TField& FieldByName(const std::string& name) const;  // throws EDatabaseError naming it
  TField* FindField(const std::string& name) const;    // null when unknown

  // ---- Opening and data
  void CreateDataSet();  // empty, from the stored definitions; open, browse
  // Replaces every record with the packet's rows; fields of the packet are matched to
  // the stored definitions by name (others are added), the change log is emptied; open.
  void SetData(const DataPacket& packet);
  // Loading several datasets all or none: PrepareData checks the packet against this
  // dataset's fields and builds its records aside (a bad packet throws EDatabaseError
  // naming the dataset and nothing changes); SetData(prepared), right after, puts them
  // in place without looking at the packet again. SetData(packet) does both.
  class TPreparedData;
  std::shared_ptr<TPreparedData> PrepareData(const DataPacket& packet) const;
  void SetData(TPreparedData& prepared);
  void LoadFromPacket(const DataPacket& packet) { SetData(packet); }
  DataPacket Data() const;  // posted records in natural order; calculated fields excluded
  void EmptyDataSet();      // no records, empty change log; stays open
  void Open();
  void Close();
  bool Active() const { return state_ != dsInactive; }
  TDataSetState State() const { return state_; }

  // ---- Navigation
  void First();
  void Last();
  void Next();
  void Prior();
  int MoveBy(int distance);  // returns the distance moved
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const;
  int RecordCount() const;
  int RecNo() const;  // 1-based; 0 when empty or closed
  void SetRecNo(int recno);
  // Finds the first record (in view order) whose fields equal the values; makes it current.
  bool Locate(const std::string& field_names, const std::vector<Variant>& values);

  // ---- Editing
  void Insert();  // a new record before the current one
  void Append();  // a new record at the end
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  // Appends a record holding `values` (one per field, in field order; those of calculated
  // fields are ignored, as they are computed), as Append, a write of every non-null
  // value and Post would; `values` serves as the record's buffer and holds the record as
  // stored on return (converted to the fields' types, calculated fields computed). All
  // or nothing: a value a field cannot take, a refused check or a handler's exception
  // throws and adds no record. While controls are disabled and no insert, post or
  // scroll handler is attached (a bulk load), the record is packed straight from
  // `values`, without a field write per value.
  void AppendRecord(Row& values);
  bool Modified() const { return modified_; }
  void CheckBrowseMode();  // posts a modified buffer, cancels an unmodified one

  // ---- Order
  const std::string& IndexFieldNames() const { return index_field_names_; }
  void SetIndexFieldNames(const std::string& names);  // "A;B"; "" natural order

  // ---- Change log
  int ChangeCount() const;
  DataPacket Delta() const;
  void MergeChangeLog();

  // ---- Controls
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disable_count_ > 0; }

  // ---- Events (each may be empty)
  TDataSetNotifyEvent BeforeInsert, AfterInsert;
  TDataSetNotifyEvent BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost;
  TDataSetNotifyEvent BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete;
  TDataSetNotifyEvent BeforeScroll, AfterScroll;
  TDataSetNotifyEvent OnCalcFields;

  // ---- For fields, data sources and views
  Variant GetFieldValue(int field_index) const;
  void GetFieldValue(int field_index, Variant& out) const;  // into `out`, its string reused
  void SetFieldValue(int field_index, const Variant& value);
  Variant GetOldFieldValue(int field_index) const;
  void DataEvent(TDataEvent event, TField* field = nullptr, int distance = 0);
  void UpdateRecord();  // asks the links to write pending editor text
  const std::vector<TDataSource*>& DataSources() const { return sources_; }
  // Renders the view for tests and diagnostics: "1:A 2:B* state=edit log=1" — each
  // record's first field (or the named ones, joined by '|'), '*' on the current record.
  std::string Describe(const std::string& field_names = "") const;

 private:
  friend class TDataSource;
  friend class TReadRecordScope;
  struct Impl;

  void InsertRecord(bool append);
  bool BulkAppendApplies() const;
  void AppendThroughFields(Row& values);
  void Scrolled(long old_position);  // recalculates and notifies when the cursor moved
  void SetState(TDataSetState state);
  void RequireActive() const;

  std::string name_;
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<TField*> field_list_;
  std::vector<TDataSource*> sources_;
  std::unique_ptr<Impl> impl_;
  TDataSetState state_ = dsInactive;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  int disable_count_ = 0;
  std::string index_field_names_;
};

// Lets a view (the grid) read the fields of any record without moving the cursor: while
// the scope lives, field reads of the dataset answer for the record at `recno` (the edit
// buffer for the record being edited). Scopes nest.
class TReadRecordScope {
 public:
  TReadRecordScope(TClientDataSet& dataset, int recno);
  TReadRecordScope(const TReadRecordScope&) = delete;
  TReadRecordScope& operator=(const TReadRecordScope&) = delete;
  ~TReadRecordScope();

 private:
  TClientDataSet& dataset_;
  long previous_;
};

}  // namespace rt
