// The allocation history: every allocation change, clearing, payable generation and
// cancellation, written by the method that makes it inside the method's own transaction
// (so a refused or failed change leaves no line), into the append-only table
// allocation_history. Read back per budget by GetHistorico and `alloc-server --history`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "server/core/change_feed.h"
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
  std::int64_t id = 0;  // as read back; ids of one budget sequence grow in commit order
  std::int64_t at = 0;  // Unix seconds
  std::string operator_id, session_ref, action, branch, number, sequence;
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

// The lines of one budget sequence after the id `after`, oldest first, at most `limit`;
// the id of its latest line (0 without any).
std::vector<HistoryEntry> HistoryAfter(Database& db, const ChangeKey& key, std::int64_t after, std::size_t limit);
// Its lines at or below `after` stamped at or after `since_at`. Ids are handed out as
// lines are written, not as they commit: two saves of one sequence may commit in the
// other order (their turn passes on before COMMIT; on PostgreSQL two servers' saves only
// lock the items they change), so a line below a reader's cursor can still appear for a
// moment after it moved on. A reader re-reads the last seconds and keeps the ids it saw.
std::vector<HistoryEntry> LateHistory(Database& db, const ChangeKey& key, std::int64_t after, std::int64_t since_at,
                                      std::size_t limit);
std::int64_t LatestHistoryId(Database& db, const ChangeKey& key);

// One line for a person to read: "2026-05-04 10:12:00 demo ALTERACAO 0001/0000000012/01
// item 01/MO001 unit 7: 1001 R$ 150,00 -> 1004 R$ 160,00".
std::string DescribeHistoryEntry(const HistoryEntry& entry);

}  // namespace srv
