// The allocation history: every allocation change, clearing, payable generation and
// cancellation, written by the method that makes it inside the method's own transaction
// (so a refused or failed change leaves no line), into the append-only table
// allocation_history. Read back per budget by GetHistorico and `alloc-server --history`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "server/core/database.h"

namespace srv {

namespace history {
inline constexpr const char* kAllocated = "ALOCACAO";  // a professional put into a free unit
inline constexpr const char* kChanged = "ALTERACAO";   // professional, amount, crew time or payment type
inline constexpr const char* kCleared = "LIMPEZA";     // a professional removed ("*")
inline constexpr const char* kPayablesGenerated = "GERACAO_CONTA";
inline constexpr const char* kPayablesCancelled = "CANCELAMENTO_CONTA";
}  // namespace history

// One line of the history. Allocation lines fill the item and old/new columns (absent
// sides are nullopt/""), payable lines fill `entry_numbers` ("0000000005,0000000006").
struct HistoryEntry {
  std::int64_t at = 0;  // Unix seconds
  std::string operator_id, action, branch, number, sequence;
  std::string shift, product;
  std::optional<std::int64_t> allocation_id;
  std::string old_supplier, new_supplier;
  std::optional<std::int64_t> old_paid_cents, new_paid_cents;
  std::string old_crew_time, new_crew_time, old_payment_type, new_payment_type;
  std::string entry_numbers;
};

// Appends one line, stamped now; call inside the change's transaction.
void RecordHistory(Database& db, const HistoryEntry& entry);
// The statement that records it, for a caller that sends it together with others.
Database::Statement HistoryStatement(const HistoryEntry& entry);

// The lines of a budget (every sequence), oldest first.
std::vector<HistoryEntry> BudgetHistory(Database& db, const std::string& branch, const std::string& number);

// One line for a person to read: "2026-05-04 10:12:00 demo ALTERACAO 0001/0000000012/01
// item 01/MO001 unit 7: 1001 R$ 150,00 -> 1004 R$ 160,00".
std::string DescribeHistoryEntry(const HistoryEntry& entry);

}  // namespace srv
