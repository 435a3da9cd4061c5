// Accounts payable of a budget's professionals: the two checks before generation,
// generation (GeraConta) and cancellation (SetCancelaConta).
#include <cstdio>
#include <ctime>

#include "server/core/history.h"
#include "server/core/methods.h"

namespace srv {
namespace {

struct BudgetKey {
  std::string branch, number, sequence;
  std::vector<SqlValue> Params() const { return {branch, number, sequence}; }
};

BudgetKey RequireBudget(CallContext& c) {
  BudgetKey k{c.Str(0), c.Str(1), c.Str(2)};
  c.RequireBranch(k.branch);
  if (!LockSequence(c.db, k.branch, k.number, k.sequence)) throw ServiceError(texts::kBudgetUnknown);
  return k;
}

bool AnyZeroAmountToPay(Database& db, const BudgetKey& k) {
  return !db.Query(
                "SELECT 1 FROM allocations WHERE branch = ? AND number = ? AND sequence = ? "
                "AND payment_type = 'CONTAPAGAR' AND paid_cents = 0 LIMIT 1",
                k.Params())
              .empty();
}

// An allocation without payment type, or one paid by account whose professional is
// registered as paid through the payroll.
bool AnyPaymentTypeMismatch(Database& db, const BudgetKey& k) {
  return !db.Query(
                "SELECT 1 FROM allocations a JOIN professionals p ON p.supplier_code = a.supplier_code "
                "WHERE a.branch = ? AND a.number = ? AND a.sequence = ? AND (a.payment_type = '' OR "
                "(a.payment_type = 'CONTAPAGAR' AND p.payment_type <> 'CONTAPAGAR')) LIMIT 1",
                k.Params())
              .empty();
}

bool AnyUnitWithoutProfessional(Database& db, const BudgetKey& k) {
  const ResultSet r = db.Query(
      "SELECT i.quantity, (SELECT COUNT(*) FROM allocations a WHERE a.branch = i.branch AND a.number = i.number "
      "AND a.sequence = i.sequence AND a.shift = i.shift AND a.product = i.product) FROM labour_items i "
      "WHERE i.branch = ? AND i.number = ? AND i.sequence = ?",
      k.Params());
  for (std::size_t i = 0; i < r.size(); ++i) {
    const double quantity = r.Float(i, 0);
    const std::int64_t units = quantity > 0 ? static_cast<std::int64_t>(quantity) : 0;
    if (r.Int(i, 1) < units) return true;
  }
  return false;
}

[[noreturn]] void Refuse(const std::string& key) { throw ServiceError(key); }

void RecordPayables(CallContext& c, const BudgetKey& k, const char* action, const std::string& entry_numbers) {
  HistoryEntry line;
  line.operator_id = c.session.operator_id;
  line.session_ref = c.session.ref;
  line.action = action;
  line.branch = k.branch;
  line.number = k.number;
  line.sequence = k.sequence;
  line.entry_numbers = entry_numbers;
  RecordHistory(c.db, line);
}

// "a,b,c" of one column of a result.
std::string JoinColumn(const ResultSet& r, int col) {
  std::string joined;
  for (std::size_t i = 0; i < r.size(); ++i) joined += (i ? "," : "") + r.Text(i, col);
  return joined;
}

std::string Blank(const ResultSet& r, int col) { return r.empty() ? std::string() : Trim(r.Text(0, col)); }

struct GenerationParams {
  std::string operation_type, payable_type, series, company_code;
};

// The parameters generation needs, in the order they are checked; refuses with the
// first missing one's key.
GenerationParams RequireParams(Database& db, const BudgetKey& k) {
  GenerationParams g;
  const ResultSet branch =
      db.Query("SELECT entry_operation_type, entry_series FROM branch_payable_params WHERE branch = ?", {k.branch});
  g.operation_type = Blank(branch, 0);
  if (g.operation_type.empty()) Refuse("N_PARAM_TIPOOPERPAG");
  g.payable_type = Blank(
      db.Query("SELECT payable_type FROM operation_payable_types WHERE operation_type = ?", {g.operation_type}), 0);
  if (g.payable_type.empty()) Refuse("N_PARAM_TPCTPAG|" + g.operation_type);
  g.series = Blank(branch, 1);
  if (g.series.empty()) Refuse("N_PARAM_SERIEENTR");
  g.company_code =
      Blank(db.Query("SELECT company_code FROM budgets WHERE branch = ? AND number = ?", {k.branch, k.number}), 0);
  if (g.company_code.empty()) Refuse("N_PARAM_CDEMPRESAORCA");
  if (db.Query("SELECT 1 FROM branch_companies WHERE branch = ? AND company_code = ?", {k.branch, g.company_code})
          .empty()) {
    Refuse("N_PARAM_EMPRESARELAC");
  }
  if (Blank(db.Query("SELECT state_registration FROM companies WHERE code = ?", {g.company_code}), 0).empty()) {
    Refuse("N_PARAM_NRINSCESTA");
  }
  return g;
}

std::string NextEntryNumber(Database& db, const std::string& branch) {
  const ResultSet r =
      db.Query(std::string("SELECT last_number FROM entry_counters WHERE branch = ?") + db.ForUpdate(), {branch});
  const auto text = [](std::int64_t n) {
    char out[24];
    std::snprintf(out, sizeof out, "%010lld", static_cast<long long>(n));
    return std::string(out);
  };
  std::int64_t next = r.empty() ? 1 : r.Int(0, 0) + 1;
  // Entries the branch took outside the counter (imported, keyed by hand) are skipped.
  while (!db.Query("SELECT 1 FROM payables WHERE branch = ? AND entry_number = ?", {branch, text(next)}).empty())
    ++next;
  if (r.empty()) {
    db.Execute("INSERT INTO entry_counters (branch, last_number) VALUES (?, ?)", {branch, next});
  } else {
    db.Execute("UPDATE entry_counters SET last_number = ? WHERE branch = ?", {next, branch});
  }
  return text(next);
}

}  // namespace

rt::Variant Get_VrPgMObra(CallContext& c) {
  const BudgetKey k = RequireBudget(c);
  return !AnyZeroAmountToPay(c.db, k);
}

rt::Variant GetTpFormPgProf(CallContext& c) {
  const BudgetKey k = RequireBudget(c);
  return !AnyPaymentTypeMismatch(c.db, k);
}

rt::Variant GeraConta(CallContext& c) {
  Transaction tx(c.db, true);
  const BudgetKey k = RequireBudget(c);
  const ResultSet existing = c.db.Query(
      "SELECT p.entry_number FROM payables p JOIN payable_budgets pb ON pb.payable_id = p.id "
      "WHERE pb.branch = ? AND pb.number = ? AND pb.sequence = ? ORDER BY p.entry_number",
      k.Params());
  if (!existing.empty()) return JoinColumn(existing, 0);  // not null: they already existed
  // The checks the screen makes before calling are made again: the server does not
  // rely on the client for them.
  if (AnyUnitWithoutProfessional(c.db, k)) {
    throw ServiceError(texts::kUnitWithoutProfessional);
  }
  if (AnyZeroAmountToPay(c.db, k)) throw ServiceError(texts::kZeroAmount);
  if (AnyPaymentTypeMismatch(c.db, k)) throw ServiceError(texts::kPaymentTypeBlocked);
  const GenerationParams g = RequireParams(c.db, k);

  const ResultSet to_pay = c.db.Query(
      "SELECT a.supplier_code, SUM(a.paid_cents), MAX(p.payable_type) FROM allocations a "
      "JOIN professionals p ON p.supplier_code = a.supplier_code "
      "WHERE a.branch = ? AND a.number = ? AND a.sequence = ? AND a.payment_type = 'CONTAPAGAR' "
      "GROUP BY a.supplier_code ORDER BY a.supplier_code",
      k.Params());
  if (to_pay.empty()) Refuse("N_PARAM_S_FORMA_PAGTO");
  for (std::size_t i = 0; i < to_pay.size(); ++i) {
    if (Trim(to_pay.Text(i, 2)).empty()) Refuse("N_PARAM_TPCTPAGFORN");
  }

  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  std::string entry_numbers;
  for (std::size_t i = 0; i < to_pay.size(); ++i) {
    const std::string entry = NextEntryNumber(c.db, k.branch);
    entry_numbers += (i ? "," : "") + entry;
    const ResultSet id = c.db.Query(
        "INSERT INTO payables (branch, entry_number, supplier_code, amount_cents, state, operation_type, "
        "payable_type, series, company_code, operator_id, created_at) "
        "VALUES (?, ?, ?, ?, 'ABERTA', ?, ?, ?, ?, ?, ?) RETURNING id",
        {k.branch, entry, to_pay.Text(i, 0), to_pay.Int(i, 1), g.operation_type, Trim(to_pay.Text(i, 2)), g.series,
         g.company_code, c.session.operator_id, now});
    c.db.Execute("INSERT INTO payable_budgets (payable_id, branch, number, sequence) VALUES (?, ?, ?, ?)",
                 {id.Int(0, 0), k.branch, k.number, k.sequence});
  }
  c.db.Execute(
      "UPDATE allocations SET account_generated = 'S', row_version = row_version + 1 "
      "WHERE branch = ? AND number = ? AND sequence = ? AND payment_type = 'CONTAPAGAR'",
      k.Params());
  RecordPayables(c, k, history::kPayablesGenerated, entry_numbers);
  tx.Commit();
  return nullptr;
}

rt::Variant SetCancelaConta(CallContext& c) {
  Transaction tx(c.db, true);
  const BudgetKey k = RequireBudget(c);
  const ResultSet states = c.db.Query(
      "SELECT DISTINCT p.state FROM payables p JOIN payable_budgets pb ON pb.payable_id = p.id "
      "WHERE pb.branch = ? AND pb.number = ? AND pb.sequence = ?",
      k.Params());
  if (states.empty()) throw ServiceError(texts::kNoPayables);
  bool settled = false, issued = false, discounted = false;
  for (std::size_t i = 0; i < states.size(); ++i) {
    const std::string s = states.Text(i, 0);
    settled |= s == "BAIXADA";
    issued |= s == "EMITIDO";
    discounted |= s == "DESCONTADO";
  }
  if (settled) Refuse("N_PARAM_CONTABAIXADA");
  if (issued) Refuse("N_PARAM_EMITIDO");
  if (discounted) Refuse("N_PARAM_DESCONTADO");

  const ResultSet ids = c.db.Query(
      "SELECT pb.payable_id, p.entry_number FROM payable_budgets pb JOIN payables p ON p.id = pb.payable_id "
      "WHERE pb.branch = ? AND pb.number = ? AND pb.sequence = ? ORDER BY p.entry_number",
      k.Params());
  c.db.Execute("DELETE FROM payable_budgets WHERE branch = ? AND number = ? AND sequence = ?", k.Params());
  for (std::size_t i = 0; i < ids.size(); ++i) {
    // A payable goes with its last relation.
    c.db.Execute(
        "DELETE FROM payables WHERE id = ? AND NOT EXISTS (SELECT 1 FROM payable_budgets WHERE payable_id = ?)",
        {ids.Int(i, 0), ids.Int(i, 0)});
  }
  c.db.Execute(
      "UPDATE allocations SET account_generated = 'N', row_version = row_version + 1 "
      "WHERE branch = ? AND number = ? AND sequence = ? AND account_generated = 'S'",
      k.Params());
  RecordPayables(c, k, history::kPayablesCancelled, JoinColumn(ids, 1));
  tx.Commit();
  return nullptr;
}

}  // namespace srv
