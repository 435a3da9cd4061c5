// A bulk change of the allocation grid's dataset (loading, clearing): its controls are
// disabled and its four row handlers (BeforeInsert, BeforeEdit, BeforePost, AfterPost)
// detached, so that the checks and the save of a row apply only to the user's own
// edits and the grid is not redrawn per row. Both come back on every path.
#pragma once

#include "platform/runtime/client_dataset.h"

namespace alloc {

class TBulkChange {
 public:
  explicit TBulkChange(rt::TClientDataSet& dataset);
  // Restores what Restore has not yet restored (a failure while restoring during
  // unwinding cannot be reported and is dropped: the first failure is the one that counts).
  ~TBulkChange();
  TBulkChange(const TBulkChange&) = delete;
  TBulkChange& operator=(const TBulkChange&) = delete;

  // Controls enabled, then the four handlers attached again; once.
  void Restore();

 private:
  rt::TClientDataSet& dataset_;
  rt::TClientDataSet::TDataSetNotifyEvent before_insert_, before_edit_, before_post_, after_post_;
  bool restored_ = false;
};

}  // namespace alloc
