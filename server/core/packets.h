// The field lists of the data packets the methods answer with: names, types, sizes,
// labels and flags exactly as the allocation screen's datasets define them.
#pragma once

#include <string_view>
#include <utility>

#include "platform/runtime/packet.h"

namespace srv::packets {

std::vector<rt::FieldDef> PesqOrca();    // budget search list
std::vector<rt::FieldDef> VdOrcaEven();  // budget check
std::vector<rt::FieldDef> Sequencial();  // sequence check
std::vector<rt::FieldDef> OrcaEvento();  // budget header
std::vector<rt::FieldDef> FornMaoAux();  // allocations, one record per allocation or free item
std::vector<rt::FieldDef> ItMaoObra();   // labour items
std::vector<rt::FieldDef> NfRelacOrc();  // payables related to the budget
std::vector<rt::FieldDef> ProdForn();    // professionals allowed for a product (search list)
std::vector<rt::FieldDef> VdForn();      // professional check
std::vector<rt::FieldDef> VdProf();      // allocations already using a professional
std::vector<rt::FieldDef> VrPagMObra();  // amounts and crew data of a labour item
std::vector<rt::FieldDef> Turma();       // crew start times of a labour item
std::vector<rt::FieldDef> Historico();   // a budget's allocation history, oldest first

// An empty data packet with these fields.
rt::DataPacket Make(std::vector<rt::FieldDef> fields);

// Appends a row, cutting every string to its field's size in characters (UTF-8 code
// points), so that a long stored name never overflows the client's field.
void AddRow(rt::DataPacket& packet, rt::Row row);

// A row built from its values, moving those given as temporaries (a braced list would
// copy every string once more: its elements are const).
template <class... Values>
rt::Row RowOf(Values&&... values) {
  rt::Row row;
  row.reserve(sizeof...(values));
  (row.emplace_back(std::forward<Values>(values)), ...);
  return row;
}

// The first `size` UTF-8 code points of `text`.
std::string CutToChars(const std::string& text, int size);
std::string_view CutToCharsView(std::string_view text, int size);

}  // namespace srv::packets
