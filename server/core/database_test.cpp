// The SQL layer and the migrations, on each backend.
#include "server/core/database.h"

#include "server/core/connection_pool.h"
#include "server/core/migrations.h"
#include "server/core/test_backends.h"

namespace srv {
namespace {

using testing::BackendTest;

class DatabaseTest : public BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    if (IsSkipped()) return;
    db_ = Connect();
    db_->ExecuteScript("CREATE TABLE t (k TEXT PRIMARY KEY, n BIGINT, f DOUBLE PRECISION, s TEXT)");
  }
  std::unique_ptr<Database> db_;
};

TEST_P(DatabaseTest, ParametersRoundTripLiterallyWhateverTheyContain) {
  const std::vector<std::string> texts = {"'; DROP TABLE t; --", "O'Brien \"?\" $1", "GARÇOM Ação ü", ""};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    db_->Execute("INSERT INTO t (k, n, f, s) VALUES (?, ?, ?, ?)",
                 {texts[i], static_cast<std::int64_t>(i) - 2, 0.1 * static_cast<double>(i), SqlValue()});
  }
  const ResultSet r = db_->Query("SELECT k, n, f, s FROM t WHERE k = ?", {texts[1]});
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r.Text(0, "k"), texts[1]);
  EXPECT_EQ(r.Int(0, "n"), -1);
  EXPECT_DOUBLE_EQ(r.Float(0, "f"), 0.1);
  EXPECT_TRUE(r.IsNull(0, 3));
  EXPECT_EQ(db_->Query("SELECT COUNT(*) FROM t").Int(0, 0), 4);
  EXPECT_EQ(db_->Query("SELECT s FROM t WHERE k = ?", {texts[0]}).size(), 1u);
}

TEST_P(DatabaseTest, ExecuteCountsChangedRows) {
  for (const char* k : {"a", "b", "c"}) db_->Execute("INSERT INTO t (k, n) VALUES (?, 1)", {k});
  EXPECT_EQ(db_->Execute("UPDATE t SET n = 2 WHERE k <> ?", {"a"}), 2);
  EXPECT_EQ(db_->Execute("DELETE FROM t WHERE k = ?", {"zzz"}), 0);
}

TEST_P(DatabaseTest, TransactionGuardRollsBackUnlessCommitted) {
  {
    Transaction tx(*db_, true);
    db_->Execute("INSERT INTO t (k) VALUES ('lost')");
  }
  {
    Transaction tx(*db_, true);
    db_->Execute("INSERT INTO t (k) VALUES ('kept')");
    tx.Commit();
  }
  const ResultSet r = db_->Query("SELECT k FROM t ORDER BY k");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r.Text(0, 0), "kept");
  // Transactions in which nothing ran end cleanly either way.
  { Transaction tx(*db_, true); }
  {
    Transaction tx(*db_, false);
    tx.Commit();
  }
  EXPECT_TRUE(db_->Healthy());
  EXPECT_EQ(db_->Query("SELECT COUNT(*) FROM t").Int(0, 0), 1);
}

TEST_P(DatabaseTest, ConstraintViolationsAreTold) {
  db_->Execute("INSERT INTO t (k) VALUES ('x')");
  try {
    db_->Execute("INSERT INTO t (k) VALUES ('x')");
    FAIL() << "duplicate accepted";
  } catch (const DbError& e) {
    EXPECT_EQ(e.kind, DbError::Kind::UniqueViolation);
  }
  EXPECT_THROW(db_->Query("SELECT nothing FROM nowhere"), DbError);
}

TEST_P(DatabaseTest, StatementsRunTogetherAnswerInOrderAndStopAtTheFirstFailure) {
  db_->Execute("INSERT INTO t (k, n) VALUES ('a', 1), ('b', 2)");
  {
    Transaction tx(*db_, true);
    const std::vector<ResultSet> rows =
        db_->QueryEach({{std::string("SELECT n FROM t WHERE k = ?") + db_->ForUpdate(), {"b"}},
                        {"SELECT k FROM t WHERE n > ? ORDER BY k", {std::int64_t{0}}},
                        {"UPDATE t SET n = n + 10 WHERE k = ? RETURNING n", {"a"}},
                        {"SELECT n FROM t WHERE k = ?", {"a"}}});
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].Int(0, 0), 2);
    ASSERT_EQ(rows[1].size(), 2u);
    EXPECT_EQ(rows[1].Text(1, 0), "b");
    EXPECT_EQ(rows[2].Int(0, 0), 11);
    EXPECT_EQ(rows[3].Int(0, 0), 11) << "a statement did not see the one before it";
    tx.Commit();
  }
  {
    Transaction tx(*db_, true);
    try {
      db_->QueryEach({{"INSERT INTO t (k, n) VALUES ('c', 3) RETURNING n", {}},
                      {"INSERT INTO t (k, n) VALUES ('a', 4) RETURNING n", {}},
                      {"INSERT INTO t (k, n) VALUES ('d', 5) RETURNING n", {}}});
      ADD_FAILURE() << "a duplicate key went unreported";
    } catch (const DbError& e) {
      EXPECT_EQ(e.kind, DbError::Kind::UniqueViolation) << e.what();
    }
  }
  // Rolled back as a whole, and the connection serves the next statements.
  EXPECT_EQ(db_->Query("SELECT COUNT(*) FROM t").Int(0, 0), 2);
  EXPECT_EQ(db_->QueryEach({{"SELECT n FROM t WHERE k = 'a'", {}}, {"SELECT n FROM t WHERE k = 'b'", {}}})[1].Int(0, 0),
            2);
  EXPECT_TRUE(db_->Healthy());
}

TEST_P(DatabaseTest, MigrationsApplyOnceAndRecordTheirVersion) {
  Migrate(*db_);
  Migrate(*db_);  // a second start changes nothing
  const ResultSet r = db_->Query("SELECT version FROM schema_version ORDER BY version");
  ASSERT_EQ(r.size(), static_cast<std::size_t>(LatestSchemaVersion()));
  EXPECT_EQ(r.Int(r.size() - 1, 0), LatestSchemaVersion());
  db_->Execute("INSERT INTO schema_version (version, applied_at) VALUES (?, 0)",
               {static_cast<std::int64_t>(LatestSchemaVersion() + 1)});
  EXPECT_THROW(Migrate(*db_), SchemaTooNew);  // a newer database is not touched by an older server
}

TEST_P(DatabaseTest, ForeignKeysAreEnforced) {
  Migrate(*db_);
  EXPECT_THROW(db_->Execute("INSERT INTO operator_branches (operator_id, branch) VALUES ('nobody', '9999')"), DbError);
}

TEST_P(DatabaseTest, PoolReusesHealthyConnectionsAndDropsStuckOnes) {
  int opened = 0;
  ConnectionPool pool([&] {
    ++opened;
    return Connect();
  });
  { auto lease = pool.Acquire(); }
  { auto lease = pool.Acquire(); }
  EXPECT_EQ(opened, 1);
  {
    auto lease = pool.Acquire();
    lease->Begin(false);  // left open: the connection is not fit for the next call
  }
  { auto lease = pool.Acquire(); }
  EXPECT_EQ(opened, 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, DatabaseTest,
                         ::testing::Values(testing::Backend::Sqlite, testing::Backend::Postgres), testing::BackendName);

}  // namespace
}  // namespace srv
