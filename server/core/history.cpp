#include "server/core/history.h"

#include <cstdio>
#include <ctime>

#include "server/core/methods.h"
#include "server/core/money.h"
#include "server/core/packets.h"

namespace srv {
namespace {

SqlValue TextOrNull(const std::string& text) { return text.empty() ? SqlValue() : SqlValue(text); }
SqlValue IntOrNull(const std::optional<std::int64_t>& value) { return value ? SqlValue(*value) : SqlValue(); }
std::optional<std::int64_t> OptionalInt(const ResultSet& r, std::size_t row, int col) {
  return r.IsNull(row, col) ? std::nullopt : std::optional<std::int64_t>(r.Int(row, col));
}

// The server's local time of a stamp: the office's clock, as the clerks read it.
std::tm LocalTime(std::int64_t at) {
  const std::time_t t = static_cast<std::time_t>(at);
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

std::string Money(const std::optional<std::int64_t>& cents) {
  if (!cents) return "-";
  char text[40];
  std::snprintf(text, sizeof text, "R$ %lld,%02lld", static_cast<long long>(*cents / 100),
                static_cast<long long>(*cents % 100));
  return text;
}

std::string Side(const std::string& supplier, const std::optional<std::int64_t>& cents, const std::string& crew,
                 const std::string& payment) {
  if (supplier.empty()) return "(livre)";
  std::string text = supplier + " " + Money(cents);
  if (!crew.empty()) text += " turma " + crew;
  if (!payment.empty()) text += " " + payment;
  return text;
}

}  // namespace

void RecordHistory(Database& db, const HistoryEntry& e) {
  const Database::Statement insert = HistoryStatement(e);
  db.Execute(insert.sql, insert.params);
}

Database::Statement HistoryStatement(const HistoryEntry& e) {
  return {
      "INSERT INTO allocation_history (at, operator_id, action, branch, number, sequence, shift, product, "
      "allocation_id, old_supplier, new_supplier, old_paid_cents, new_paid_cents, old_crew_time, new_crew_time, "
      "old_payment_type, new_payment_type, entry_numbers, session_ref) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
      "?, ?, ?, ?, ?, ?)",
      {static_cast<std::int64_t>(std::time(nullptr)), e.operator_id, e.action, e.branch, e.number, e.sequence,
       TextOrNull(e.shift), TextOrNull(e.product), IntOrNull(e.allocation_id), TextOrNull(e.old_supplier),
       TextOrNull(e.new_supplier), IntOrNull(e.old_paid_cents), IntOrNull(e.new_paid_cents),
       TextOrNull(e.old_crew_time), TextOrNull(e.new_crew_time), TextOrNull(e.old_payment_type),
       TextOrNull(e.new_payment_type), TextOrNull(e.entry_numbers), TextOrNull(e.session_ref)}};
}

namespace {

// The columns ReadEntries reads, in its order.
constexpr const char* kEntryColumns =
    "SELECT id, at, operator_id, session_ref, action, branch, number, sequence, shift, product, allocation_id, "
    "old_supplier, new_supplier, old_paid_cents, new_paid_cents, old_crew_time, new_crew_time, old_payment_type, "
    "new_payment_type, entry_numbers FROM allocation_history ";

std::vector<HistoryEntry> ReadEntries(const ResultSet& r) {
  std::vector<HistoryEntry> entries(r.size());
  for (std::size_t i = 0; i < r.size(); ++i) {
    HistoryEntry& e = entries[i];
    e.id = r.Int(i, 0);
    e.at = r.Int(i, 1);
    e.operator_id = r.Text(i, 2);
    e.session_ref = r.Text(i, 3);
    e.action = r.Text(i, 4);
    e.branch = r.Text(i, 5);
    e.number = r.Text(i, 6);
    e.sequence = r.Text(i, 7);
    e.shift = r.Text(i, 8);
    e.product = r.Text(i, 9);
    e.allocation_id = OptionalInt(r, i, 10);
    e.old_supplier = r.Text(i, 11);
    e.new_supplier = r.Text(i, 12);
    e.old_paid_cents = OptionalInt(r, i, 13);
    e.new_paid_cents = OptionalInt(r, i, 14);
    e.old_crew_time = r.Text(i, 15);
    e.new_crew_time = r.Text(i, 16);
    e.old_payment_type = r.Text(i, 17);
    e.new_payment_type = r.Text(i, 18);
    e.entry_numbers = r.Text(i, 19);
  }
  return entries;
}

}  // namespace

std::vector<HistoryEntry> BudgetHistory(Database& db, const std::string& branch, const std::string& number) {
  return ReadEntries(
      db.Query(std::string(kEntryColumns) + "WHERE branch = ? AND number = ? ORDER BY id", {branch, number}));
}

std::vector<HistoryEntry> HistoryAfter(Database& db, const ChangeKey& key, std::int64_t after, std::size_t limit) {
  return ReadEntries(db.Query(std::string(kEntryColumns) +
                                  "WHERE branch = ? AND number = ? AND sequence = ? AND id > ? ORDER BY id LIMIT ?",
                              {key.branch, key.number, key.sequence, after, static_cast<std::int64_t>(limit)}));
}

std::vector<HistoryEntry> LateHistory(Database& db, const ChangeKey& key, std::int64_t after, std::int64_t since_at,
                                      std::size_t limit) {
  return ReadEntries(
      db.Query(std::string(kEntryColumns) +
                   "WHERE branch = ? AND number = ? AND sequence = ? AND id <= ? AND at >= ? ORDER BY id LIMIT ?",
               {key.branch, key.number, key.sequence, after, since_at, static_cast<std::int64_t>(limit)}));
}

std::int64_t LatestHistoryId(Database& db, const ChangeKey& key) {
  return db
      .Query("SELECT COALESCE(MAX(id), 0) FROM allocation_history WHERE branch = ? AND number = ? AND sequence = ?",
             {key.branch, key.number, key.sequence})
      .Int(0, 0);
}

std::string DescribeHistoryEntry(const HistoryEntry& e) {
  const std::tm t = LocalTime(e.at);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &t);
  std::string line =
      std::string(when) + " " + e.operator_id + " " + e.action + " " + e.branch + "/" + e.number + "/" + e.sequence;
  if (!e.entry_numbers.empty()) return line + " lançamentos " + e.entry_numbers;
  line += " item " + e.shift + "/" + e.product;
  if (e.allocation_id) line += " unidade " + std::to_string(*e.allocation_id);
  return line + ": " + Side(e.old_supplier, e.old_paid_cents, e.old_crew_time, e.old_payment_type) + " -> " +
         Side(e.new_supplier, e.new_paid_cents, e.new_crew_time, e.new_payment_type);
}

rt::Variant GetHistorico(CallContext& c) {
  const std::string& branch = c.Str(0);
  c.RequireBranch(branch);
  rt::DataPacket packet = packets::Make(packets::Historico());
  const auto amount = [](const std::optional<std::int64_t>& cents) {
    return cents ? rt::Variant(FloatFromCents(*cents)) : rt::Variant();
  };
  const auto id = [](const std::optional<std::int64_t>& value) {
    return value ? rt::Variant(static_cast<double>(*value)) : rt::Variant();
  };
  for (const HistoryEntry& e : BudgetHistory(c.db, branch, c.Str(1))) {
    const std::tm t = LocalTime(e.at);
    const rt::DateTime when{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
    packets::AddRow(
        packet, {when, e.operator_id, e.action, e.branch, e.number, e.sequence, e.shift, e.product, id(e.allocation_id),
                 e.old_supplier, e.new_supplier, amount(e.old_paid_cents), amount(e.new_paid_cents), e.old_crew_time,
                 e.new_crew_time, e.old_payment_type, e.new_payment_type, e.entry_numbers});
  }
  return packet;
}

}  // namespace srv
