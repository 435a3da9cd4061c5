// Building the rows of the allocation grid from the allocations the server returned:
// one row per unit of labour, numbered from 1 within its labour item, the allocated
// rows first (packet order), then the free units up to the item's quantity.
#pragma once

#include <string>

#include "platform/clientlib/labour_units.h"
#include "platform/runtime/client_dataset.h"
#include "platform/runtime/variant.h"

namespace alloc {

// What every row of one load carries besides its item and allocation.
struct TGridRowKey {
  std::string cd_filial;     // stCdFilial
  std::string nr_orcamento;  // stNrOrcamento
  std::string nr_seq;        // the text of edtSeq
  rt::Variant qt_hr_evento;  // QTHREVENTO of the budget header (null: left empty)
};

// Number of units of a labour item, counted as the report counts them (labour_units.h).
using clib::UnitsOf;

// Appends to `grid` (open, in browse state) the rows that `allocations` (the
// cdsFornMaoAux packet: one record per allocation, an item without allocation as one
// record with a blank CDFORNECED, the records of an item adjacent) calls for, walking
// it from its first record. Each row is appended whole (AppendRecord: during the load's
// bulk change, packed straight from its values); a failure leaves the rows appended so
// far and goes on to the caller.
void BuildAllocationRows(rt::TClientDataSet& allocations, rt::TClientDataSet& grid, const TGridRowKey& key);

}  // namespace alloc
