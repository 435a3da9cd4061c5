#include "alloc/bulk_change.h"

#include <utility>

namespace alloc {

TBulkChange::TBulkChange(rt::TClientDataSet& dataset)
    : dataset_(dataset),
      before_insert_(std::exchange(dataset.BeforeInsert, nullptr)),
      before_edit_(std::exchange(dataset.BeforeEdit, nullptr)),
      before_post_(std::exchange(dataset.BeforePost, nullptr)),
      after_post_(std::exchange(dataset.AfterPost, nullptr)) {
  dataset_.DisableControls();
}

TBulkChange::~TBulkChange() {
  try {
    Restore();
  } catch (...) {  // see the header: never throw out of a destructor
  }
}

void TBulkChange::Restore() {
  if (restored_) return;
  restored_ = true;
  auto attach = [this] {
    dataset_.BeforeInsert = std::move(before_insert_);
    dataset_.BeforeEdit = std::move(before_edit_);
    dataset_.BeforePost = std::move(before_post_);
    dataset_.AfterPost = std::move(after_post_);
  };
  try {
    dataset_.EnableControls();
  } catch (...) {  // the handlers come back even when redrawing the controls fails
    attach();
    throw;
  }
  attach();
}

}  // namespace alloc
