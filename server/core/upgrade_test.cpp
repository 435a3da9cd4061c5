// Upgrades: a database written by each earlier schema version opens in this release,
// migrates forward and keeps every row; a database newer than this build is refused and
// left as it was. The older databases are built in the test by running only migrations
// 1..k (MigrateTo) and filling them with the rows that version could hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "server/core/booking.h"
#include "server/core/migrations.h"
#include "server/core/test_backends.h"

namespace srv::testing {
namespace {

// Rows a database of version `version` may hold, added in the statements of the
// version that brought their tables (a later version adds its own on top).
void FillAsOfVersion(Database& db, int version) {
  Transaction tx(db, true);
  db.ExecuteScript(R"SQL(
INSERT INTO branches (code, name) VALUES ('0009', 'Filial de São João');
INSERT INTO operators (id, name, password_hash) VALUES ('ana', 'Ana Conceição', 'pbkdf2$1000$c2FsdA==$aGFzaA==');
INSERT INTO operator_branches (operator_id, branch) VALUES ('ana', '0009');
INSERT INTO sessions (token_hash, operator_id, created_at, expires_at) VALUES ('ab12', 'ana', 1700000000, 1700043200);
INSERT INTO companies (code, name, state_registration) VALUES ('C9', 'Bufê Ipê', '123.456');
INSERT INTO branch_companies (branch, company_code) VALUES ('0009', 'C9');
INSERT INTO branch_payable_params (branch, entry_operation_type, entry_series) VALUES ('0009', 'OP1', 'S1');
INSERT INTO operation_payable_types (operation_type, payable_type) VALUES ('OP1', 'TP1');
INSERT INTO entry_counters (branch, last_number) VALUES ('0009', 41);
INSERT INTO budgets (branch, number, client_trade_name, company_code) VALUES ('0009', '0000000099', 'Noivos Ávila', 'C9');
INSERT INTO budget_sequences (branch, number, sequence, service_type_name, event_type_name, event_at, guests, adults,
  children, duration_hours) VALUES ('0009', '0000000099', '01', 'Jantar', 'Casamento', '2027-06-12T19:00:00', 120, 100,
  20, 6.5);
INSERT INTO labour_products (code, name) VALUES ('MO9', 'Garçom');
INSERT INTO shifts (code, description) VALUES ('09', 'Noite');
INSERT INTO labour_items (branch, number, sequence, shift, product, quantity, charged_cents, default_paid_cents,
  default_crew_time, product_tree_code) VALUES ('0009', '0000000099', '01', '09', 'MO9', 2, 18000, 15000, '1800', 'T9');
INSERT INTO labour_item_crew_times (branch, number, sequence, shift, product, crew_time)
  VALUES ('0009', '0000000099', '01', '09', 'MO9', '1800');
INSERT INTO professionals (supplier_code, registration, registration_type, trade_name, legal_name, payment_type,
  payable_type) VALUES ('9001', '52998224725', 'F', 'Zé', 'José Araújo', 'CONTAPAGAR', 'TP1');
INSERT INTO professionals (supplier_code, registration, registration_type, trade_name, legal_name, payment_type,
  payable_type) VALUES ('9002', '11144477735', 'F', 'Lia', 'Lia Müller', 'FOLHAPAGA', NULL);
INSERT INTO product_professionals (product, supplier_code) VALUES ('MO9', '9001');
INSERT INTO product_professionals (product, supplier_code) VALUES ('MO9', '9002');
INSERT INTO allocations (branch, number, sequence, shift, product, supplier_code, stored_name, crew_time, payment_type,
  paid_cents, account_generated, row_version)
  VALUES ('0009', '0000000099', '01', '09', 'MO9', '9001', 'Zé', '1800', 'CONTAPAGAR', 15000, 'S', 3);
INSERT INTO allocations (branch, number, sequence, shift, product, supplier_code, stored_name, crew_time, payment_type,
  paid_cents) VALUES ('0009', '0000000099', '01', '09', 'MO9', '9002', 'Lia', '1830', 'FOLHAPAGA', 14000);
INSERT INTO payables (branch, entry_number, supplier_code, amount_cents, state, operation_type, payable_type, series,
  company_code, operator_id, created_at)
  VALUES ('0009', '0000041', '9001', 15000, 'ABERTA', 'OP1', 'TP1', 'S1', 'C9', 'ana', 1700000100);
INSERT INTO payable_budgets (payable_id, branch, number, sequence)
  SELECT id, '0009', '0000000099', '01' FROM payables WHERE entry_number = '0000041';
)SQL");
  if (version >= 2) {
    db.ExecuteScript(R"SQL(
INSERT INTO allocation_history (at, operator_id, action, branch, number, sequence, shift, product, allocation_id,
  old_supplier, new_supplier, old_paid_cents, new_paid_cents, old_crew_time, new_crew_time, old_payment_type,
  new_payment_type) SELECT 1700000050, 'ana', 'ALOCACAO', '0009', '0000000099', '01', '09', 'MO9', id, NULL, '9001',
  NULL, 15000, NULL, '1800', NULL, 'CONTAPAGAR' FROM allocations WHERE supplier_code = '9001';
INSERT INTO allocation_history (at, operator_id, action, branch, number, sequence, entry_numbers)
  VALUES (1700000100, 'ana', 'GERACAO_CONTA', '0009', '0000000099', '01', '0000041');
)SQL");
  }
  // From the version that brought bookings on, the server books every allocation it writes.
  if (version >= 4) FillMissingBookings(db);
  tx.Commit();
}

// Every row of every table, as text, by table, in a fixed order; only the columns the
// table had in `columns_of` when given (a later version may add columns).
using Tables = std::map<std::string, std::vector<std::string>>;
using Columns = std::map<std::string, std::vector<std::string>>;

std::vector<std::string> TableNames(Database& db) {
  const ResultSet rows = db.backend() == Database::Backend::Sqlite
                             ? db.Query("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'")
                             : db.Query("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                                        "current_schema() AND table_type = 'BASE TABLE'");
  std::vector<std::string> names;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows.Text(i, 0) != "schema_version") names.push_back(rows.Text(i, 0));
  }
  return names;
}

Tables Snapshot(Database& db, Columns& columns_of) {
  Tables tables;
  for (const std::string& table : TableNames(db)) {
    std::string list;
    if (const auto known = columns_of.find(table); known != columns_of.end()) {
      for (const std::string& column : known->second) list += (list.empty() ? "" : ", ") + column;
    }
    const ResultSet rows = db.Query("SELECT " + (list.empty() ? std::string("*") : list) + " FROM " + table);
    if (list.empty()) columns_of[table] = rows.columns();
    std::vector<std::string>& texts = tables[table];
    for (std::size_t r = 0; r < rows.size(); ++r) {
      std::string text;
      for (int c = 0; c < static_cast<int>(rows.columns().size()); ++c) {
        text += rows.columns()[static_cast<std::size_t>(c)] + "=" + (rows.IsNull(r, c) ? "NULL" : rows.Text(r, c)) + ";";
      }
      texts.push_back(text);
    }
    std::sort(texts.begin(), texts.end());
  }
  return tables;
}

class UpgradeTest : public BackendTest {};

// The report definition is rewritten on purpose by the migration that brought the
// free units (its text and layout), so for it only the rows' keys must be kept.
TEST_P(UpgradeTest, EachEarlierVersionMigratesForwardKeepingEveryRow) {
  for (int version = 1; version < LatestSchemaVersion(); ++version) {
    SCOPED_TRACE("database of schema version " + std::to_string(version));
    TearDown();
    SetUp();
    auto db = Connect();
    MigrateTo(*db, version);
    ASSERT_EQ(StoredSchemaVersion(*db), version);
    FillAsOfVersion(*db, version);
    Columns columns_of;
    columns_of["report_definitions"] = {"report_code", "name", "position", "branch_param"};
    const Tables before = Snapshot(*db, columns_of);
    db.reset();

    OpenService(config_);  // what the server does at start
    db = Connect();
    EXPECT_EQ(StoredSchemaVersion(*db), LatestSchemaVersion());
    const Tables after = Snapshot(*db, columns_of);
    for (const auto& [table, rows] : before) {
      ASSERT_TRUE(after.count(table)) << table;
      EXPECT_EQ(after.at(table), rows) << table;
    }
    EXPECT_EQ(before.at("allocations").size(), 2u);
    // What the later migrations add is filled in for the old rows: their bookings.
    const ResultSet bookings = db->Query("SELECT COUNT(*) FROM allocations WHERE booked_until > booked_from");
    EXPECT_EQ(bookings.Int(0, 0), 2) << "the old allocations got their bookings";
    const ResultSet report = db->Query("SELECT layout FROM report_definitions WHERE report_code = 'EVT047'");
    ASSERT_EQ(report.size(), 1u);
    EXPECT_NE(report.Text(0, 0).find("\"report_range\""), std::string::npos) << "the report definition is the current one";
  }
}

TEST_P(UpgradeTest, ADatabaseNewerThanThisBuildIsRefusedAndLeftAsItWas) {
  {
    auto db = Connect();
    Migrate(*db);
    db->Execute("INSERT INTO schema_version (version, applied_at) VALUES (?, 1700000000)",
                {static_cast<std::int64_t>(LatestSchemaVersion() + 1)});
  }
  try {
    OpenService(config_);
    FAIL() << "a newer database was opened";
  } catch (const SchemaTooNew& e) {
    EXPECT_EQ(e.found, LatestSchemaVersion() + 1);
    EXPECT_EQ(e.known, LatestSchemaVersion());
    EXPECT_NE(std::string(e.what()).find("newer alloc-server"), std::string::npos) << e.what();
  }
  auto db = Connect();
  EXPECT_EQ(StoredSchemaVersion(*db), LatestSchemaVersion() + 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, UpgradeTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), BackendName);

}  // namespace
}  // namespace srv::testing
