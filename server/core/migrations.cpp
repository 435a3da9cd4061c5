// The schema. Migrations are portable SQL; what differs between the backends is written
// as a placeholder and replaced per backend (ForBackend below). Money is BIGINT cents.
#include "server/core/migrations.h"

#include "server/core/booking.h"
#include "server/core/change_feed.h"

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace srv {

const char* ReportDefinitionsMigration();          // report_definitions.cpp
const char* AllocationReportStaffingMigration();  // report_staffing.cpp

constexpr int kBookingsVersion = 4;  // the migration that brought the allocations' bookings

namespace {

const std::vector<const char*>& Migrations() {
  static const std::vector<const char*> all = {
      // 1: the whole first schema.
      R"SQL(
CREATE TABLE branches (
  code TEXT PRIMARY KEY,
  name TEXT NOT NULL
);
CREATE TABLE operators (
  id TEXT PRIMARY KEY,
  name TEXT NOT NULL,
  password_hash TEXT NOT NULL
);
CREATE TABLE operator_branches (
  operator_id TEXT NOT NULL REFERENCES operators(id) ON DELETE CASCADE,
  branch TEXT NOT NULL REFERENCES branches(code),
  PRIMARY KEY (operator_id, branch)
);
CREATE TABLE sessions (
  token_hash TEXT PRIMARY KEY,
  operator_id TEXT NOT NULL REFERENCES operators(id) ON DELETE CASCADE,
  created_at BIGINT NOT NULL,
  expires_at BIGINT NOT NULL
);
CREATE INDEX sessions_expiry ON sessions(expires_at);

CREATE TABLE companies (
  code TEXT PRIMARY KEY,
  name TEXT NOT NULL,
  state_registration TEXT
);
CREATE TABLE branch_companies (
  branch TEXT NOT NULL REFERENCES branches(code),
  company_code TEXT NOT NULL REFERENCES companies(code),
  PRIMARY KEY (branch, company_code)
);
CREATE TABLE branch_payable_params (
  branch TEXT PRIMARY KEY REFERENCES branches(code),
  entry_operation_type TEXT,
  entry_series TEXT
);
CREATE TABLE operation_payable_types (
  operation_type TEXT PRIMARY KEY,
  payable_type TEXT NOT NULL
);
CREATE TABLE entry_counters (
  branch TEXT PRIMARY KEY REFERENCES branches(code),
  last_number BIGINT NOT NULL
);

CREATE TABLE budgets (
  branch TEXT NOT NULL REFERENCES branches(code),
  number TEXT NOT NULL,
  client_trade_name TEXT NOT NULL,
  company_code TEXT REFERENCES companies(code),
  PRIMARY KEY (branch, number)
);
CREATE TABLE budget_sequences (
  branch TEXT NOT NULL,
  number TEXT NOT NULL,
  sequence TEXT NOT NULL,
  service_type_name TEXT NOT NULL,
  event_type_name TEXT NOT NULL,
  event_at TEXT NOT NULL,
  guests DOUBLE PRECISION NOT NULL,
  adults DOUBLE PRECISION NOT NULL,
  children DOUBLE PRECISION NOT NULL,
  duration_hours DOUBLE PRECISION NOT NULL,
  PRIMARY KEY (branch, number, sequence),
  FOREIGN KEY (branch, number) REFERENCES budgets(branch, number)
);
CREATE INDEX budget_sequences_by_number ON budget_sequences(number, sequence);
CREATE INDEX budget_sequences_by_time ON budget_sequences(event_at);

CREATE TABLE labour_products (
  code TEXT PRIMARY KEY,
  name TEXT NOT NULL
);
CREATE TABLE shifts (
  code TEXT PRIMARY KEY,
  description TEXT NOT NULL
);
CREATE TABLE labour_items (
  branch TEXT NOT NULL,
  number TEXT NOT NULL,
  sequence TEXT NOT NULL,
  shift TEXT NOT NULL REFERENCES shifts(code),
  product TEXT NOT NULL REFERENCES labour_products(code),
  quantity DOUBLE PRECISION NOT NULL,
  charged_cents BIGINT NOT NULL,
  default_paid_cents BIGINT NOT NULL,
  default_crew_time TEXT NOT NULL,
  product_tree_code TEXT NOT NULL,
  PRIMARY KEY (branch, number, sequence, shift, product),
  FOREIGN KEY (branch, number, sequence) REFERENCES budget_sequences(branch, number, sequence)
);
CREATE TABLE labour_item_crew_times (
  branch TEXT NOT NULL,
  number TEXT NOT NULL,
  sequence TEXT NOT NULL,
  shift TEXT NOT NULL,
  product TEXT NOT NULL,
  crew_time TEXT NOT NULL,
  PRIMARY KEY (branch, number, sequence, shift, product, crew_time),
  FOREIGN KEY (branch, number, sequence, shift, product)
    REFERENCES labour_items(branch, number, sequence, shift, product) ON DELETE CASCADE
);

CREATE TABLE professionals (
  supplier_code TEXT PRIMARY KEY,
  registration TEXT NOT NULL UNIQUE,
  registration_type TEXT NOT NULL CHECK (registration_type IN ('F', 'J')),
  trade_name TEXT NOT NULL,
  legal_name TEXT NOT NULL,
  payment_type TEXT NOT NULL CHECK (payment_type IN ('FOLHAPAGA', 'CONTAPAGAR')),
  payable_type TEXT
);
CREATE TABLE product_professionals (
  product TEXT NOT NULL REFERENCES labour_products(code),
  supplier_code TEXT NOT NULL REFERENCES professionals(supplier_code),
  PRIMARY KEY (product, supplier_code)
);

CREATE TABLE allocations (
  id {{ID}},
  branch TEXT NOT NULL,
  number TEXT NOT NULL,
  sequence TEXT NOT NULL,
  shift TEXT NOT NULL,
  product TEXT NOT NULL,
  supplier_code TEXT NOT NULL REFERENCES professionals(supplier_code),
  stored_name TEXT NOT NULL,
  crew_time TEXT NOT NULL,
  payment_type TEXT NOT NULL CHECK (payment_type IN ('', 'FOLHAPAGA', 'CONTAPAGAR')),
  paid_cents BIGINT NOT NULL CHECK (paid_cents >= 0),
  account_generated TEXT NOT NULL DEFAULT 'N' CHECK (account_generated IN ('N', 'S')),
  row_version BIGINT NOT NULL DEFAULT 1,
  UNIQUE (branch, number, sequence, shift, product, supplier_code),
  FOREIGN KEY (branch, number, sequence, shift, product)
    REFERENCES labour_items(branch, number, sequence, shift, product)
);
CREATE INDEX allocations_by_supplier ON allocations(supplier_code);

CREATE TABLE payables (
  id {{ID}},
  branch TEXT NOT NULL REFERENCES branches(code),
  entry_number TEXT NOT NULL,
  supplier_code TEXT NOT NULL REFERENCES professionals(supplier_code),
  amount_cents BIGINT NOT NULL,
  state TEXT NOT NULL CHECK (state IN ('ABERTA', 'BAIXADA', 'EMITIDO', 'DESCONTADO')),
  operation_type TEXT NOT NULL,
  payable_type TEXT NOT NULL,
  series TEXT NOT NULL,
  company_code TEXT NOT NULL,
  operator_id TEXT NOT NULL,
  created_at BIGINT NOT NULL,
  UNIQUE (branch, entry_number)
);
CREATE TABLE payable_budgets (
  payable_id BIGINT NOT NULL REFERENCES payables(id) ON DELETE CASCADE,
  branch TEXT NOT NULL,
  number TEXT NOT NULL,
  sequence TEXT NOT NULL,
  PRIMARY KEY (payable_id, branch, number, sequence),
  FOREIGN KEY (branch, number, sequence) REFERENCES budget_sequences(branch, number, sequence)
);
CREATE INDEX payable_budgets_by_budget ON payable_budgets(branch, number, sequence);
)SQL",
      // 2: the allocation history, append-only (no foreign keys: it outlives what it
      // names). `at` is Unix seconds; amounts are cents; an allocation change fills the
      // item, unit and old/new columns, a payable generation or cancellation the entry
      // numbers.
      R"SQL(
CREATE TABLE allocation_history (
  id {{ID}},
  at BIGINT NOT NULL,
  operator_id TEXT NOT NULL,
  action TEXT NOT NULL CHECK (action IN ('ALOCACAO', 'ALTERACAO', 'LIMPEZA', 'GERACAO_CONTA', 'CANCELAMENTO_CONTA')),
  branch TEXT NOT NULL,
  number TEXT NOT NULL,
  sequence TEXT NOT NULL,
  shift TEXT,
  product TEXT,
  allocation_id BIGINT,
  old_supplier TEXT,
  new_supplier TEXT,
  old_paid_cents BIGINT,
  new_paid_cents BIGINT,
  old_crew_time TEXT,
  new_crew_time TEXT,
  old_payment_type TEXT,
  new_payment_type TEXT,
  entry_numbers TEXT
);
CREATE INDEX allocation_history_by_budget ON allocation_history(branch, number, id);
{{APPEND_ONLY allocation_history}}
)SQL",
      // 3: report definitions, with the allocation report of "EVT047".
      ReportDefinitionsMigration(),
      // 4: each allocation's booking (booking.h), indexed per professional; existing rows
      // get theirs right after (FillMissingBookings).
      R"SQL(
ALTER TABLE allocations ADD COLUMN booked_from BIGINT NOT NULL DEFAULT 0;
ALTER TABLE allocations ADD COLUMN booked_until BIGINT NOT NULL DEFAULT 0;
CREATE INDEX allocations_by_booking ON allocations(supplier_code, booked_from, booked_until);
)SQL",
      // 5: the allocation report with its free units, the range asked and the summary
      // per professional (an update of the definition 3 wrote).
      AllocationReportStaffingMigration(),
      // 6: the session that made each change (the change feed does not echo a clerk's own
      // changes), and on PostgreSQL a notice per committed change (change_feed.h).
      R"SQL(
ALTER TABLE allocation_history ADD COLUMN session_ref TEXT;
{{NOTIFY_CHANGES allocation_history}}
)SQL",
      // 7: the allocation report's definition again, as it is now (its last column wide
      // enough for a payable's entry number): the same update as 5, which a database
      // already at 5 or 6 has run with the widths of then.
      AllocationReportStaffingMigration(),
  };
  return all;
}

// Triggers that refuse UPDATE and DELETE (and, on PostgreSQL, TRUNCATE) of a table.
std::string AppendOnlyTriggers(const std::string& table, Database::Backend backend) {
  if (backend == Database::Backend::Sqlite) {
    std::string sql;
    for (const char* op : {"UPDATE", "DELETE"}) {
      sql += "CREATE TRIGGER " + table + "_no_" + op + " BEFORE " + op + " ON " + table +
             " BEGIN SELECT RAISE(ABORT, '" + table + " is append-only'); END;\n";
    }
    return sql;
  }
  return "CREATE FUNCTION " + table +
         "_refuse_change() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
         "RAISE EXCEPTION '% is append-only', TG_TABLE_NAME; END $$;\n"
         "CREATE TRIGGER " +
         table + "_no_change BEFORE UPDATE OR DELETE ON " + table + " FOR EACH ROW EXECUTE FUNCTION " + table +
         "_refuse_change();\n"
         "CREATE TRIGGER " +
         table + "_no_truncate BEFORE TRUNCATE ON " + table + " FOR EACH STATEMENT EXECUTE FUNCTION " + table +
         "_refuse_change();\n";
}

// On PostgreSQL, a trigger that sends a notice on `kChangesChannel` for each budget
// sequence a transaction wrote history lines of: "schema branch number sequence".
// Notices go out at COMMIT only, in commit order, identical ones of a transaction once.
// SQLite: nothing (one server holds the file; it tells its own feed).
std::string NotifyTrigger(const std::string& table, Database::Backend backend) {
  if (backend == Database::Backend::Sqlite) return {};
  return "CREATE FUNCTION " + table +
         "_notify() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
         "PERFORM pg_notify('" +
         kChangesChannel +
         "', COALESCE(current_schema(), '') || ' ' || NEW.branch || ' ' || NEW.number || ' ' || NEW.sequence); "
         "RETURN NULL; END $$;\n"
         "CREATE TRIGGER " +
         table + "_notify AFTER INSERT ON " + table + " FOR EACH ROW EXECUTE FUNCTION " + table + "_notify();\n";
}

// Replaces each "{{MARK table}}" with what `expand(table)` makes of it.
template <class Expand>
void ExpandMarks(std::string& sql, std::string_view mark, Expand expand) {
  for (std::size_t at; (at = sql.find(mark)) != std::string::npos;) {
    const std::size_t end = sql.find("}}", at);
    const std::string table = sql.substr(at + mark.size(), end - at - mark.size());
    sql.replace(at, end + 2 - at, expand(table));
  }
}

// Backend-specific pieces: {{ID}} the auto-numbered key; {{APPEND_ONLY table}} the
// triggers that keep a table append-only; {{NOTIFY_CHANGES table}} the change notices.
std::string ForBackend(std::string sql, Database::Backend backend) {
  const std::string id = backend == Database::Backend::Sqlite ? "INTEGER PRIMARY KEY AUTOINCREMENT"
                                                              : "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY";
  for (std::size_t at; (at = sql.find("{{ID}}")) != std::string::npos;) sql.replace(at, 6, id);
  ExpandMarks(sql, "{{APPEND_ONLY ", [&](const std::string& table) { return AppendOnlyTriggers(table, backend); });
  ExpandMarks(sql, "{{NOTIFY_CHANGES ", [&](const std::string& table) { return NotifyTrigger(table, backend); });
  return sql;
}

}  // namespace

SchemaTooNew::SchemaTooNew(int found_version, int known_version)
    : std::runtime_error("the database's schema version " + std::to_string(found_version) +
                         " was written by a newer alloc-server; this one knows versions up to " +
                         std::to_string(known_version)),
      found(found_version),
      known(known_version) {}

int LatestSchemaVersion() { return static_cast<int>(Migrations().size()); }

void Migrate(Database& db) { MigrateTo(db, LatestSchemaVersion()); }

int StoredSchemaVersion(Database& db) {
  const ResultSet current = db.Query("SELECT COALESCE(MAX(version), 0) AS v FROM schema_version");
  return static_cast<int>(current.Int(0, 0));
}

void MigrateTo(Database& db, int target) {
  if (target > LatestSchemaVersion()) throw SchemaTooNew(target, LatestSchemaVersion());
  Transaction tx(db, true);
  db.LockForMigration();
  db.ExecuteScript(
      "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER PRIMARY KEY, applied_at BIGINT NOT NULL)");
  const int version = StoredSchemaVersion(db);
  if (version > LatestSchemaVersion()) throw SchemaTooNew(version, LatestSchemaVersion());
  for (int v = version + 1; v <= target; ++v) {
    db.ExecuteScript(ForBackend(Migrations()[static_cast<std::size_t>(v - 1)], db.backend()));
    db.Execute("INSERT INTO schema_version (version, applied_at) VALUES (?, ?)",
               {static_cast<std::int64_t>(v), static_cast<std::int64_t>(std::time(nullptr))});
  }
  if (version < kBookingsVersion && target >= kBookingsVersion) FillMissingBookings(db);
  tx.Commit();
}

}  // namespace srv
