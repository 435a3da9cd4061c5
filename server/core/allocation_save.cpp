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
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include "platform/runtime/packet.h"
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
// budget's turn: nothing a save changes decides them, so the turn is not held for them.
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
HistoryEntry HistoryLine(const UnitChange& u, const char* action, const std::string& operator_id,
                         std::int64_t allocation_id) {
  HistoryEntry e;
  e.operator_id = operator_id;
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

// What a row of the delta is decided on, read in one go: the budget sequence's row
// (for the first row of each budget), locked until the end of the transaction so that
// saves, generation and cancellation of one budget queue one behind the other, with
// whether payables generated from it freeze its allocations; the labour item, locked so
// that concurrent saves of its units queue there; and, read after those locks, the
// allocations the row names and the item's count of them. The statements run in this
// order, so each read sees what the locks protect.
struct UnitReads {
  SequenceState sequence = SequenceState::Open;
  ResultSet item;      // quantity
  ResultSet old_held;  // the old professional's allocation, locked (changes and removals)
  ResultSet new_held;  // the new professional's allocation (another professional brought in)
  ResultSet used;      // how many allocations the item holds (a free unit filled)
};

UnitReads ReadUnit(Database& db, const UnitChange& u, bool lock_sequence) {
  const std::vector<SqlValue> sequence_key = {u.branch, u.number, u.sequence};
  auto allocation_of = [&](const std::string& supplier) {
    auto key = ItemKey(u);
    key.emplace_back(supplier);
    return key;
  };
  std::vector<Database::Statement> statements;
  std::vector<ResultSet UnitReads::*> into;
  if (lock_sequence) {
    statements.push_back(
        {std::string("SELECT CASE WHEN EXISTS (SELECT 1 FROM payable_budgets p WHERE p.branch = s.branch AND "
                     "p.number = s.number AND p.sequence = s.sequence) THEN 1 ELSE 0 END "
                     "FROM budget_sequences s WHERE s.branch = ? AND s.number = ? AND s.sequence = ?") +
             db.ForUpdate(),
         sequence_key});
    into.push_back(nullptr);
  }
  if (!StaysFree(u)) {
    statements.push_back({std::string("SELECT quantity FROM labour_items WHERE branch = ? AND number = ? "
                                      "AND sequence = ? AND shift = ? AND product = ?") +
                              db.ForUpdate(),
                          ItemKey(u)});
    into.push_back(&UnitReads::item);
    if (!u.old_supplier.empty() && !u.new_supplier.empty()) {
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
    if (into[i] != nullptr) {
      reads.*into[i] = std::move(results[i]);
    } else if (results[i].empty()) {
      reads.sequence = SequenceState::Unknown;
    } else if (results[i].Int(0, 0) != 0) {
      reads.sequence = SequenceState::Frozen;
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

void Insert(Database& db, const UnitChange& u, const UnitReads& reads, const ProfessionalNames& names,
            const std::string& operator_id) {
  const double quantity = reads.item.Float(0, 0);
  const std::int64_t units = quantity > 0 ? static_cast<std::int64_t>(std::trunc(quantity)) : 0;
  if (reads.used.Int(0, 0) >= units) throw ServiceError(texts::kNoFreeUnit);
  const std::string& name = AllowedProfessional(names, u);
  CheckCrewTime(db, u);
  CheckPaymentType(u.new_payment);
  const std::int64_t cents = NewCents(u.new_amount);
  auto values = ItemKey(u);
  values.insert(values.end(), {u.new_supplier, name, u.new_crew, u.new_payment, cents});
  std::int64_t id = 0;
  GuardDuplicate([&] {
    id = db.Query(
               "INSERT INTO allocations (branch, number, sequence, shift, product, supplier_code, stored_name, "
               "crew_time, payment_type, paid_cents) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
               values)
             .Int(0, 0);
  });
  HistoryEntry line = HistoryLine(u, history::kAllocated, operator_id, id);
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
void ChangeOrRemove(Database& db, const UnitChange& u, const ResultSet& r, const ProfessionalNames& names,
                    const std::string& operator_id) {
  const bool remove = IsRemoval(u);
  if (r.empty() || !SameAmount(u.old_amount, r.Int(0, 1)) || r.Text(0, 2) != u.old_crew ||
      r.Text(0, 3) != u.old_payment) {
    throw ServiceError(texts::kStale);
  }
  if (r.Text(0, 5) == "S") throw ServiceError(texts::kAccountsExist);
  const std::int64_t id = r.Int(0, 0), version = r.Int(0, 4);
  HistoryEntry line = HistoryLine(u, remove ? history::kCleared : history::kChanged, operator_id, id);
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
    WriteWithHistory(db,
                     {"UPDATE allocations SET supplier_code = ?, stored_name = ?, crew_time = ?, payment_type = ?, "
                      "paid_cents = ?, row_version = row_version + 1 WHERE id = ? AND row_version = ? RETURNING id",
                      {u.new_supplier, name, u.new_crew, u.new_payment, cents, id, version}},
                     line);
  });
}

// The budget sequences whose turns a save waits for: on PostgreSQL, whose row lock lets
// a newcomer overtake the saves already waiting. None on SQLite: its writers of one file
// already wait for each other on the process's writer mutex, and a turn held there would
// also hold back the group flush that lets several commits share one sync (saves at 16
// clients fell from about 3,900 to 2,450 a second).
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

  // BEGIN and the reads that no save changes come before the turn: the turn is held only
  // for what orders this save against the others of its budget.
  Transaction tx(c.db, true);
  const ProfessionalNames names = AllowedProfessionals(c.db, units);
  BudgetTurns::Turn turn = c.turns.Take(TurnKeys(c.db, units));

  std::set<std::tuple<std::string, std::string, std::string>> locked_budgets;
  for (const UnitChange& u : units) {
    const bool first_of_budget = locked_budgets.emplace(u.branch, u.number, u.sequence).second;
    const UnitReads reads = ReadUnit(c.db, u, first_of_budget);
    if (reads.sequence == SequenceState::Unknown) throw ServiceError(texts::kBudgetUnknown);
    if (reads.sequence == SequenceState::Frozen) throw ServiceError(texts::kAccountsExist);
    if (StaysFree(u)) continue;
    if (reads.item.empty()) throw ServiceError(texts::kItemUnknown);
    if (AlreadyApplied(reads, u)) continue;

    if (u.old_supplier.empty()) {
      Insert(c.db, u, reads, names, c.session.operator_id);
    } else if (u.new_supplier.empty()) {
      throw ServiceError(texts::kProfessionalRequired);
    } else {
      ChangeOrRemove(c.db, u, reads.old_held, names, c.session.operator_id);
    }
  }
  // The next save of the budget may start while this one commits: the rows locked here
  // keep its reads behind the commit, and it is the only one of this server waiting there.
  turn.PassOn();
  tx.Commit();
  return nullptr;
}

}  // namespace srv
