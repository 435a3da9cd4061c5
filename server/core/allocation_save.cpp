// Saving the grid: SetForneMao applies a delta of grid rows in one transaction.
//
// Each modified row is one unit of labour. Its labour item is located by the key fields
// (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRTURNO, CDPRODUTO); old and new CDFORNECED say
// what happens:
//   old blank,   new "*"            nothing (a free unit stays free)
//   old blank,   new professional   insert an allocation, if the item has a free unit
//   old set,     new "*"            remove the allocation loaded with the old values
//   old set,     new professional   update the allocation loaded with the old values
// An allocation is located by key + old professional and must still hold the amount,
// crew time and payment type the row was loaded with; otherwise someone changed it
// since and the whole delta is refused. A row whose item already holds it as asked (the
// new professional with the new values, the old one gone) is left as it is: a delta sent
// again after its answer was lost on the way is applied once. A removal is never taken
// as done (the professional may never have been there): sent again, it is refused as
// stale; nothing is doubled and the clerk reloads.
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>

#include "platform/runtime/packet.h"
#include "server/core/booking.h"
#include "server/core/history.h"
#include "server/core/methods.h"
#include "server/core/money.h"
#include "server/core/packets.h"

namespace srv {
namespace {

constexpr const char* kRemoval = "*";

class DeltaFields {
 public:
  explicit DeltaFields(const rt::DataPacket& delta) : delta_(delta) {
    for (const char* name : {"CDFILIAL", "NRORCAEVENTO", "NRSEQORCAEVE", "NRTURNO", "CDPRODUTO", "CDFORNECED"}) {
      if (delta.FieldIndex(name) < 0) throw InvalidParams(std::string("SetForneMao: the delta has no field ") + name);
    }
  }

  // Text of a field in a row's old or new values; "" when null or absent.
  std::string Text(const rt::Row& values, const char* name) const {
    const rt::Variant* v = Find(values, name);
    if (!v || v->IsNull()) return {};
    if (v->type() != rt::Variant::Type::String) {
      throw InvalidParams(std::string("SetForneMao: field ") + name + " must be text, got " + v->Describe());
    }
    return Trim(v->AsString());
  }

  // Amount of a field as a float; 0 when null or absent.
  double Amount(const rt::Row& values, const char* name) const {
    const rt::Variant* v = Find(values, name);
    if (!v || v->IsNull()) return 0;
    if (!v->IsNumber() || !std::isfinite(v->AsFloat())) {
      throw InvalidParams(std::string("SetForneMao: field ") + name + " must be a number, got " + v->Describe());
    }
    return v->AsFloat();
  }

  // A key field: the value the row was loaded with, or its current one when that is null.
  std::string Key(const rt::DeltaRow& row, const char* name) const {
    std::string old_value = Text(row.old_values, name);
    return old_value.empty() ? Text(row.new_values, name) : old_value;
  }

 private:
  const rt::Variant* Find(const rt::Row& values, const char* name) const {
    const int i = delta_.FieldIndex(name);
    if (i < 0) return nullptr;
    if (values.size() != delta_.fields.size()) {
      throw InvalidParams("SetForneMao: a row of the delta does not have one value per field");
    }
    return &values[static_cast<std::size_t>(i)];
  }

  const rt::DataPacket& delta_;
};

struct UnitChange {
  std::string branch, number, sequence, shift, product;
  std::string old_supplier, new_supplier;
  std::string old_crew, new_crew, old_payment, new_payment;
  double old_amount = 0, new_amount = 0;
};

// The crew time as stored: "08:30" as typed through the mask is "0830".
std::string CrewTime(std::string text) {
  std::erase(text, ':');
  return text;
}

std::vector<SqlValue> ItemKey(const UnitChange& u) { return {u.branch, u.number, u.sequence, u.shift, u.product}; }

// Whether a stored amount is the one the client loaded (its float, rounded to cents).
bool SameAmount(double client_amount, std::int64_t stored_cents) {
  return std::fabs(client_amount * 100.0 - static_cast<double>(stored_cents)) <= 0.5 + 1e-6;
}

std::int64_t NewCents(double amount) {
  if (amount < 0) throw ServiceError(texts::kNegativeAmount);
  const auto cents = CentsFromFloat(amount);
  if (!cents) throw ServiceError(texts::kAmountOutOfRange);
  return *cents;
}

void CheckPaymentType(const std::string& code) {
  if (code != "" && code != "FOLHAPAGA" && code != "CONTAPAGAR") {
    throw ServiceError(texts::PaymentTypeInvalid(code));
  }
}

// The legal names of the professionals a delta brings in, by (supplier, product); none
// when the professional is not allowed for the product. Read before the save takes its
// locks: nothing a save changes decides them, so the locks are not held for them.
using ProfessionalNames = std::map<std::pair<std::string, std::string>, std::optional<std::string>>;

ProfessionalNames AllowedProfessionals(Database& db, const std::vector<UnitChange>& units) {
  ProfessionalNames names;
  for (const UnitChange& u : units) {
    if (u.new_supplier.empty() || u.new_supplier == kRemoval) continue;
    auto [at, fresh] = names.try_emplace({u.new_supplier, u.product});
    if (!fresh) continue;
    const ResultSet r = db.Query(
        "SELECT p.legal_name FROM product_professionals pp JOIN professionals p ON p.supplier_code = pp.supplier_code "
        "WHERE pp.product = ? AND pp.supplier_code = ?",
        {u.product, u.new_supplier});
    if (!r.empty()) at->second = r.Text(0, 0);
  }
  return names;
}

// The new professional's legal name when allowed for the product; refuses otherwise.
const std::string& AllowedProfessional(const ProfessionalNames& names, const UnitChange& u) {
  const auto it = names.find({u.new_supplier, u.product});
  if (it == names.end() || !it->second) throw ServiceError(texts::kProfNotAllowed);
  return *it->second;
}

void CheckCrewTime(Database& db, const UnitChange& u) {
  if (u.new_crew.empty()) return;
  auto args = ItemKey(u);
  args.emplace_back(u.new_crew);
  if (db.Query("SELECT 1 FROM labour_item_crew_times WHERE branch = ? AND number = ? AND sequence = ? AND shift = ? "
               "AND product = ? AND crew_time = ?",
               args)
          .empty()) {
    throw ServiceError(texts::kCrewTimeUnknown);
  }
}

// The history line of a change to one unit; the caller fills the old and new sides.
HistoryEntry HistoryLine(const UnitChange& u, const char* action, const Session& session, std::int64_t allocation_id) {
  HistoryEntry e;
  e.operator_id = session.operator_id;
  e.session_ref = session.ref;
  e.action = action;
  e.branch = u.branch;
  e.number = u.number;
  e.sequence = u.sequence;
  e.shift = u.shift;
  e.product = u.product;
  e.allocation_id = allocation_id;
  return e;
}

// Runs a write that may hit the one-professional-per-item constraint.
template <typename F>
void GuardDuplicate(F&& write) {
  try {
    write();
  } catch (const DbError& e) {
    if (e.kind == DbError::Kind::UniqueViolation) throw ServiceError(texts::kProfAllocated);
    throw;
  }
}

// A row of the delta: which of the cases at the top of the file it is.
bool StaysFree(const UnitChange& u) {
  return u.old_supplier.empty() && (u.new_supplier == kRemoval || u.new_supplier.empty());
}
bool IsRemoval(const UnitChange& u) { return u.new_supplier == kRemoval; }
bool BringsInAnother(const UnitChange& u) {
  return !IsRemoval(u) && !u.new_supplier.empty() && u.new_supplier != u.old_supplier;
}

enum class SequenceState { Unknown, Frozen, Open };

// Whether a row changes how many of its item's units are free, or who holds them: it
// fills a free unit, frees one, or brings another professional into the item. Two saves
// doing that to one item must not both decide on the same count or the same name, so
// they queue on the item's row. A change of values for the same professional does not.
bool ChangesTheItemsHolders(const UnitChange& u) {
  return !StaysFree(u) && (u.old_supplier.empty() || IsRemoval(u) || BringsInAnother(u));
}

// The allocation a row changes or removes (it names its old professional).
bool ChangesAnAllocation(const UnitChange& u) { return !u.old_supplier.empty() && !u.new_supplier.empty(); }

// Whether a row books its professional anew: a free unit filled, another professional
// brought in, or the crew time moved. Two saves booking one professional must not both
// find the time free, so they queue on the professional's row.
bool Books(const UnitChange& u) {
  if (StaysFree(u) || IsRemoval(u) || u.new_supplier.empty()) return false;
  return u.old_supplier.empty() || BringsInAnother(u) || u.new_crew != u.old_crew;
}

using BudgetKey = std::tuple<std::string, std::string, std::string>;
BudgetKey BudgetOf(const UnitChange& u) { return {u.branch, u.number, u.sequence}; }

// What a delta locks before it reads anything, so that saves of one budget run side by
// side and still decide every rule under a lock that a conflicting save also takes:
// - each budget sequence's row, shared: saves do not wait for each other there, while
//   generation and cancellation of payables (which lock it for update) wait for the
//   saves in progress and hold back new ones; whether payables exist is read by the
//   next statement, after the lock, so a save that waited for a generation sees it;
// - the labour items whose holders the delta changes (ChangesTheItemsHolders), for update;
// - the professionals it books (Books), for update;
// - the allocations it changes or removes, for update.
// Always in this order, and each kind in one global order (budgets and items by key,
// professionals by code, allocations by id), so that two saves cannot each hold what the
// other waits for.
// SQLite's write transaction already excludes every other writer: only the budgets'
// statements are sent there.
class DeltaLocks {
 public:
  DeltaLocks(const Database& db, const std::vector<UnitChange>& units) {
    for (const UnitChange& u : units) budgets_.emplace(BudgetOf(u), SequenceState::Unknown);
    for (const auto& [key, state] : budgets_) {
      const std::vector<SqlValue> params = {std::get<0>(key), std::get<1>(key), std::get<2>(key)};
      statements_.push_back({std::string("SELECT 1 FROM budget_sequences WHERE branch = ? AND number = ? AND "
                                         "sequence = ?") +
                                 (db.backend() == Database::Backend::Postgres ? " FOR SHARE" : ""),
                             params});
      statements_.push_back(
          {"SELECT COUNT(*) FROM payable_budgets WHERE branch = ? AND number = ? AND sequence = ?", params});
    }
    if (db.backend() != Database::Backend::Postgres) return;
    AddLock("SELECT 1 FROM labour_items WHERE (branch, number, sequence, shift, product) IN ", 5,
            " ORDER BY branch, number, sequence, shift, product FOR UPDATE", units, ChangesTheItemsHolders, false);
    AddProfessionalsLock(units);
    AddLock("SELECT id FROM allocations WHERE (branch, number, sequence, shift, product, supplier_code) IN ", 6,
            " ORDER BY id FOR UPDATE", units, ChangesAnAllocation, true);
  }

  // The statements, to be sent before the first row's reads.
  const std::vector<Database::Statement>& Statements() const { return statements_; }

  // Takes the budgets' states from the statements' results, in the order sent.
  void Read(const std::vector<ResultSet>& results) {
    auto result = results.begin();
    for (auto& [key, state] : budgets_) {
      const bool exists = !(result++)->empty();
      const bool frozen = (result++)->Int(0, 0) != 0;
      state = !exists ? SequenceState::Unknown : frozen ? SequenceState::Frozen : SequenceState::Open;
    }
  }

  SequenceState State(const UnitChange& u) const { return budgets_.at(BudgetOf(u)); }

 private:
  void AddProfessionalsLock(const std::vector<UnitChange>& units) {
    std::vector<std::string> codes;
    for (const UnitChange& u : units)
      if (Books(u)) codes.push_back(u.new_supplier);
    if (codes.empty()) return;
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    Database::Statement s{"SELECT 1 FROM professionals WHERE supplier_code IN (", {}};
    for (std::size_t i = 0; i < codes.size(); ++i) {
      s.sql += i ? ", ?" : "?";
      s.params.emplace_back(codes[i]);
    }
    s.sql += ") ORDER BY supplier_code FOR UPDATE";
    statements_.push_back(std::move(s));
  }

  // One statement locking the rows `wanted` picks, by a row-value IN list (one tuple per
  // row: the item key, plus the old professional when `with_supplier`).
  void AddLock(const char* head, int columns, const char* tail, const std::vector<UnitChange>& units,
               bool (*wanted)(const UnitChange&), bool with_supplier) {
    Database::Statement s{head, {}};
    std::string tuples;
    for (const UnitChange& u : units) {
      if (!wanted(u)) continue;
      tuples += std::string(tuples.empty() ? "(" : ", (") + "?";
      for (int i = 1; i < columns; ++i) tuples += ", ?";
      tuples += ")";
      auto key = ItemKey(u);
      if (with_supplier) key.emplace_back(u.old_supplier);
      s.params.insert(s.params.end(), key.begin(), key.end());
    }
    if (tuples.empty()) return;
    s.sql += "(" + tuples + ")" + tail;
    statements_.push_back(std::move(s));
  }

  std::map<BudgetKey, SequenceState> budgets_;
  std::vector<Database::Statement> statements_;
};

// What a row of the delta is decided on, read in one go after the delta's locks (sent
// with the first row's reads): the labour item, the allocations the row names and the
// item's count of them. The statements run in order, so each read sees what the locks
// protect; the old professional's allocation is read for update again, which costs
// nothing when the delta's locks already hold it.
struct UnitReads {
  std::vector<ResultSet> locks;  // the results of the statements sent before the row's
  ResultSet item;                // quantity
  ResultSet old_held;            // the old professional's allocation, locked (changes and removals)
  ResultSet new_held;            // the new professional's allocation (another professional brought in)
  ResultSet used;                // how many allocations the item holds (a free unit filled)
};

UnitReads ReadUnit(Database& db, const UnitChange& u, std::vector<Database::Statement> statements) {
  auto allocation_of = [&](const std::string& supplier) {
    auto key = ItemKey(u);
    key.emplace_back(supplier);
    return key;
  };
  const std::size_t leading = statements.size();
  std::vector<ResultSet UnitReads::*> into;
  if (!StaysFree(u)) {
    statements.push_back(
        {"SELECT quantity FROM labour_items WHERE branch = ? AND number = ? "
         "AND sequence = ? AND shift = ? AND product = ?",
         ItemKey(u)});
    into.push_back(&UnitReads::item);
    if (ChangesAnAllocation(u)) {
      statements.push_back({std::string("SELECT id, paid_cents, crew_time, payment_type, row_version, "
                                        "account_generated FROM allocations WHERE branch = ? AND number = ? AND "
                                        "sequence = ? AND shift = ? AND product = ? AND supplier_code = ?") +
                                db.ForUpdate(),
                            allocation_of(u.old_supplier)});
      into.push_back(&UnitReads::old_held);
    }
    if (BringsInAnother(u)) {
      statements.push_back(
          {"SELECT paid_cents, crew_time, payment_type FROM allocations WHERE branch = ? AND "
           "number = ? AND sequence = ? AND shift = ? AND product = ? AND supplier_code = ?",
           allocation_of(u.new_supplier)});
      into.push_back(&UnitReads::new_held);
    }
    if (u.old_supplier.empty()) {
      statements.push_back(
          {"SELECT COUNT(*) FROM allocations WHERE branch = ? AND number = ? AND sequence = ? AND "
           "shift = ? AND product = ?",
           ItemKey(u)});
      into.push_back(&UnitReads::used);
    }
  }
  std::vector<ResultSet> results = db.QueryEach(statements);
  UnitReads reads;
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (i < leading) {
      reads.locks.push_back(std::move(results[i]));
    } else {
      reads.*into[i - leading] = std::move(results[i]);
    }
  }
  return reads;
}

// Whether an allocation read with its paid cents, crew time and payment type from column
// `first` on holds the row's new values.
bool HoldsNewValues(const ResultSet& r, int first, const UnitChange& u) {
  const auto cents = CentsFromFloat(u.new_amount);
  return !r.empty() && cents && r.Int(0, first) == *cents && r.Text(0, first + 1) == u.new_crew &&
         r.Text(0, first + 2) == u.new_payment;
}

// Whether the item already holds what the row asks for (see the top of the file).
bool AlreadyApplied(const UnitReads& reads, const UnitChange& u) {
  if (BringsInAnother(u)) return HoldsNewValues(reads.new_held, 0, u) && reads.old_held.empty();
  return !IsRemoval(u) && HoldsNewValues(reads.old_held, 1, u);  // the same professional, new values
}

// The booking the row's new professional takes, refused when it overlaps another of the
// professional's (the allocation `replaced` aside: the row's own, being changed). The
// refusal names the booking unless it is in a branch the operator may not see. Runs after
// the delta's locks, which hold the professional's row on PostgreSQL.
Booking CheckedBooking(const CallContext& c, const UnitChange& u, std::int64_t replaced) {
  Database& db = c.db;
  const ResultSet seq = db.Query(
      "SELECT event_at, duration_hours FROM budget_sequences WHERE branch = ? AND number = ? AND sequence = ?",
      {u.branch, u.number, u.sequence});
  const std::optional<Booking> booking = seq.empty() ? std::nullopt
                                                     : BookingOf(seq.Text(0, 0), seq.Float(0, 1), u.new_crew);
  if (!booking) return {};
  const ResultSet other = db.Query(
      "SELECT a.branch, a.number, a.sequence, lp.name, a.booked_from, a.booked_until FROM allocations a "
      "JOIN labour_products lp ON lp.code = a.product WHERE a.supplier_code = ? AND a.booked_from < ? "
      "AND a.booked_until > ? AND a.id <> ? "
      // the same item is the one-professional-per-item rule's (its own refusal)
      "AND NOT (a.branch = ? AND a.number = ? AND a.sequence = ? AND a.shift = ? AND a.product = ?) "
      "ORDER BY a.booked_from LIMIT 1",
      {u.new_supplier, booking->until, booking->from, replaced, u.branch, u.number, u.sequence, u.shift, u.product});
  if (other.empty()) return *booking;
  if (!c.SeesBranch(other.Text(0, 0))) throw ServiceError(texts::kProfBookedElsewhere);
  throw ServiceError(texts::ProfBookedAt(BudgetName(other.Text(0, 1), other.Text(0, 2)), other.Text(0, 3),
                                         BookingStartText({other.Int(0, 4), other.Int(0, 5)})));
}

void Insert(const CallContext& c, const UnitChange& u, const UnitReads& reads, const ProfessionalNames& names) {
  Database& db = c.db;
  const double quantity = reads.item.Float(0, 0);
  const std::int64_t units = quantity > 0 ? static_cast<std::int64_t>(std::trunc(quantity)) : 0;
  if (reads.used.Int(0, 0) >= units) throw ServiceError(texts::kNoFreeUnit);
  const std::string& name = AllowedProfessional(names, u);
  CheckCrewTime(db, u);
  CheckPaymentType(u.new_payment);
  const std::int64_t cents = NewCents(u.new_amount);
  auto values = ItemKey(u);
  std::int64_t id = 0;
  GuardDuplicate([&] {
    const Booking booking = CheckedBooking(c, u, 0);
    values.insert(values.end(), {u.new_supplier, name, u.new_crew, u.new_payment, cents, booking.from, booking.until});
    id = db.Query(
               "INSERT INTO allocations (branch, number, sequence, shift, product, supplier_code, stored_name, "
               "crew_time, payment_type, paid_cents, booked_from, booked_until) "
               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
               values)
             .Int(0, 0);
  });
  HistoryEntry line = HistoryLine(u, history::kAllocated, c.session, id);
  line.new_supplier = u.new_supplier;
  line.new_paid_cents = cents;
  line.new_crew_time = u.new_crew;
  line.new_payment_type = u.new_payment;
  RecordHistory(db, line);
}

// Changes one allocation guarded by its row version (`write` returns the row it changed)
// and records the history line, both sent at once; a row changed since it was read is
// refused as stale, and the history line goes with the rolled back transaction.
void WriteWithHistory(Database& db, const Database::Statement& write, const HistoryEntry& line) {
  if (db.QueryEach({write, HistoryStatement(line)}).front().size() != 1) throw ServiceError(texts::kStale);
}

// `r` is the old professional's allocation as ReadUnit read it.
void ChangeOrRemove(const CallContext& c, const UnitChange& u, const ResultSet& r, const ProfessionalNames& names) {
  Database& db = c.db;
  const bool remove = IsRemoval(u);
  if (r.empty() || !SameAmount(u.old_amount, r.Int(0, 1)) || r.Text(0, 2) != u.old_crew ||
      r.Text(0, 3) != u.old_payment) {
    throw ServiceError(texts::kStale);
  }
  if (r.Text(0, 5) == "S") throw ServiceError(texts::kAccountsExist);
  const std::int64_t id = r.Int(0, 0), version = r.Int(0, 4);
  HistoryEntry line = HistoryLine(u, remove ? history::kCleared : history::kChanged, c.session, id);
  line.old_supplier = u.old_supplier;
  line.old_paid_cents = r.Int(0, 1);
  line.old_crew_time = r.Text(0, 2);
  line.old_payment_type = r.Text(0, 3);
  if (remove) {
    WriteWithHistory(db, {"DELETE FROM allocations WHERE id = ? AND row_version = ? RETURNING id", {id, version}},
                     line);
    return;
  }
  const std::string& name = AllowedProfessional(names, u);
  if (u.new_crew != r.Text(0, 2)) CheckCrewTime(db, u);
  CheckPaymentType(u.new_payment);
  const std::int64_t cents = NewCents(u.new_amount);
  line.new_supplier = u.new_supplier;
  line.new_paid_cents = cents;
  line.new_crew_time = u.new_crew;
  line.new_payment_type = u.new_payment;
  GuardDuplicate([&] {
    if (Books(u)) {
      const Booking booking = CheckedBooking(c, u, id);
      WriteWithHistory(db,
                       {"UPDATE allocations SET supplier_code = ?, stored_name = ?, crew_time = ?, payment_type = ?, "
                        "paid_cents = ?, booked_from = ?, booked_until = ?, row_version = row_version + 1 "
                        "WHERE id = ? AND row_version = ? RETURNING id",
                        {u.new_supplier, name, u.new_crew, u.new_payment, cents, booking.from, booking.until, id,
                         version}},
                       line);
      return;
    }
    WriteWithHistory(db,
                     {"UPDATE allocations SET supplier_code = ?, stored_name = ?, crew_time = ?, payment_type = ?, "
                      "paid_cents = ?, row_version = row_version + 1 WHERE id = ? AND row_version = ? RETURNING id",
                      {u.new_supplier, name, u.new_crew, u.new_payment, cents, id, version}},
                     line);
  });
}

// The budget sequences whose turns a save waits for: on PostgreSQL, whose row locks let a
// newcomer overtake the saves already waiting. The turn orders a save's statements, not
// its commit: it is passed on before COMMIT, and the share lock on the sequence's row no
// longer keeps the next save behind that commit, so the two commits can share a flush.
// Measured with 16 clerks on one budget on two cores: one save at a time before COMMIT
// has the lowest p99; two, four or sixteen side by side only crowd the cores. None on
// SQLite: its writers of one file already wait for each other on the process's writer
// mutex, and a turn held there would also hold back the group flush.
std::vector<std::string> TurnKeys(const Database& db, const std::vector<UnitChange>& units) {
  std::vector<std::string> keys;
  if (db.backend() != Database::Backend::Postgres) return keys;
  for (const UnitChange& u : units) keys.push_back(BudgetTurns::Key(u.branch, u.number, u.sequence));
  return keys;
}

}  // namespace

rt::Variant SetForneMao(CallContext& c) {
  const rt::DataPacket& delta = c.params[0].AsPacket();
  const DeltaFields fields(delta);

  std::vector<UnitChange> units;
  for (const rt::DeltaRow& row : delta.changes) {
    if (row.kind != rt::RowKind::Modified) {
      throw ServiceError(texts::kRowsAddedOrRemoved);
    }
    UnitChange u;
    u.branch = fields.Key(row, "CDFILIAL");
    u.number = fields.Key(row, "NRORCAEVENTO");
    u.sequence = fields.Key(row, "NRSEQORCAEVE");
    u.shift = fields.Key(row, "NRTURNO");
    u.product = fields.Key(row, "CDPRODUTO");
    u.old_supplier = fields.Text(row.old_values, "CDFORNECED");
    if (u.old_supplier == kRemoval) u.old_supplier.clear();  // removed and saved earlier: a free unit now
    u.new_supplier = fields.Text(row.new_values, "CDFORNECED");
    u.old_crew = CrewTime(fields.Text(row.old_values, "HRINITUMOBRA"));
    u.new_crew = CrewTime(fields.Text(row.new_values, "HRINITUMOBRA"));
    u.old_payment = fields.Text(row.old_values, "IDTIPOPAGAFORN");
    u.new_payment = fields.Text(row.new_values, "IDTIPOPAGAFORN");
    u.old_amount = fields.Amount(row.old_values, "VRPAGOFORNORC");
    u.new_amount = fields.Amount(row.new_values, "VRPAGOFORNORC");
    c.RequireBranch(u.branch);
    units.push_back(std::move(u));
  }

  // BEGIN and the reads that no save changes come before the locks.
  Transaction tx(c.db, true);
  const ProfessionalNames names = AllowedProfessionals(c.db, units);
  BudgetTurns::Turn turn = c.turns.Take(TurnKeys(c.db, units));

  DeltaLocks locks(c.db, units);
  bool first = true;
  for (const UnitChange& u : units) {
    const UnitReads reads = ReadUnit(c.db, u, first ? locks.Statements() : std::vector<Database::Statement>{});
    if (first) locks.Read(reads.locks);
    first = false;
    if (locks.State(u) == SequenceState::Unknown) throw ServiceError(texts::kBudgetUnknown);
    if (locks.State(u) == SequenceState::Frozen) throw ServiceError(texts::kAccountsExist);
    if (StaysFree(u)) continue;
    if (reads.item.empty()) throw ServiceError(texts::kItemUnknown);
    if (AlreadyApplied(reads, u)) continue;

    if (u.old_supplier.empty()) {
      Insert(c, u, reads, names);
    } else if (u.new_supplier.empty()) {
      throw ServiceError(texts::kProfessionalRequired);
    } else {
      ChangeOrRemove(c, u, reads.old_held, names);
    }
  }
  // The next save of the budget may start while this one commits.
  turn.PassOn();
  tx.Commit();
  return nullptr;
}

}  // namespace srv
