// The one SQL layer of the server: a small interface over SQLite and PostgreSQL.
//
// Statements are written once, in portable SQL with "?" placeholders; the PostgreSQL
// backend renumbers them to $1, $2, ... Values are always bound as parameters, never
// pasted into the text. Every result is read whole into memory (the server's answers
// are small tables), with typed access by column index or name.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace srv {

// A parameter or a column value: NULL, integer, float or text.
using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string>;

struct DbError : std::runtime_error {
  // ConnectionLost: the connection broke before anything of the call could have been
  // committed (inside a transaction short of its COMMIT, or a read), so running the call
  // again on a new connection is safe. Unavailable: the database cannot be reached or did
  // not answer in time, with nothing committed. OutcomeUnknown: the connection broke or
  // timed out while a COMMIT (or a write outside a transaction) was on its way; it may
  // have landed.
  enum class Kind {
    Other,
    UniqueViolation,
    ForeignKeyViolation,
    CheckViolation,
    Busy,
    ConnectionLost,
    Unavailable,
    OutcomeUnknown,
    DiskFull,
    ReadOnly,
    Damaged
  };
  DbError(Kind k, const std::string& message) : std::runtime_error(message), kind(k) {}
  Kind kind;
};

// Rows read whole, kept flat: one cell per value and every text in one buffer, so that
// reading a large result costs no allocation per value.
class ResultSet {
 public:
  ResultSet() = default;
  explicit ResultSet(std::vector<std::string> columns) : columns_(std::move(columns)) {}

  std::size_t size() const { return columns_.empty() ? 0 : cells_.size() / columns_.size(); }
  bool empty() const { return cells_.empty(); }
  const std::vector<std::string>& columns() const { return columns_; }
  int ColumnIndex(const std::string& name) const;  // throws when absent

  bool IsNull(std::size_t row, int col) const;
  // Text of a value (integers and floats rendered); "" for NULL.
  std::string Text(std::size_t row, int col) const;
  // The same text where it lies (a number rendered into `scratch`), valid while both live.
  std::string_view TextView(std::size_t row, int col, std::string& scratch) const;
  // Integer of a value (text parsed, float truncated); 0 for NULL.
  std::int64_t Int(std::size_t row, int col) const;
  // Float of a value (text parsed); 0 for NULL.
  double Float(std::size_t row, int col) const;

  std::string Text(std::size_t row, const std::string& col) const { return Text(row, ColumnIndex(col)); }
  std::int64_t Int(std::size_t row, const std::string& col) const { return Int(row, ColumnIndex(col)); }
  double Float(std::size_t row, const std::string& col) const { return Float(row, ColumnIndex(col)); }

  SqlValue Value(std::size_t row, int col) const;

  // A backend adds a row's values one by one, one per column, in column order.
  void AddNull() { cells_.push_back({Cell::Kind::Null, {}}); }
  void AddInt(std::int64_t value) { cells_.push_back({Cell::Kind::Int, {.integer = value}}); }
  void AddFloat(double value) { cells_.push_back({Cell::Kind::Float, {.real = value}}); }
  void AddText(std::string_view text);

 private:
  struct Cell {
    enum class Kind : std::uint8_t { Null, Int, Float, Text } kind;
    union {
      std::int64_t integer;
      double real;
      struct {
        std::uint32_t offset, length;  // in texts_
      } text;
    } as;
  };
  const Cell& At(std::size_t row, int col) const;
  std::string_view TextOf(const Cell& cell) const { return {texts_.data() + cell.as.text.offset, cell.as.text.length}; }

  std::vector<std::string> columns_;
  std::vector<Cell> cells_;  // row after row
  std::string texts_;
};

class Database {
 public:
  enum class Backend { Sqlite, Postgres };
  virtual ~Database() = default;

  virtual Backend backend() const = 0;
  // Runs a statement that returns rows.
  virtual ResultSet Query(const std::string& sql, const std::vector<SqlValue>& params = {}) = 0;
  // Runs a statement; returns the number of rows it changed.
  virtual std::int64_t Execute(const std::string& sql, const std::vector<SqlValue>& params = {}) = 0;
  // Runs several statements without parameters (migrations).
  virtual void ExecuteScript(const std::string& sql) = 0;

  struct Statement {
    std::string sql;
    std::vector<SqlValue> params;
  };
  // Runs statements that return rows in order, as Query would one by one, and returns
  // their rows; the first failure throws and the statements after it are not run. A
  // backend may send them together (PostgreSQL: one round trip for all of them).
  virtual std::vector<ResultSet> QueryEach(const std::vector<Statement>& statements);

  // Transactions. `write` starts a write transaction at once (SQLite: BEGIN IMMEDIATE,
  // so that two writers queue at the start instead of failing at their first write); a
  // read transaction reads one consistent snapshot (PostgreSQL: REPEATABLE READ).
  virtual void Begin(bool write) = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;

  // " FOR UPDATE" where the backend locks selected rows, "" where the write
  // transaction already excludes other writers (SQLite).
  virtual const char* ForUpdate() const = 0;
  // Serialises schema migrations between processes for the current transaction.
  virtual void LockForMigration() = 0;
  // Whether the connection can serve the next call: connected and outside any
  // transaction. A pool drops connections that are not.
  virtual bool Healthy() const = 0;
};

// Opens a SQLite database file with WAL, foreign keys, a 5 s busy timeout and
// synchronous=FULL.
std::unique_ptr<Database> OpenSqlite(const std::string& path);
// Seconds the server waits for PostgreSQL by default: to connect, for each answer, and
// for a statement or a lock on the database's side (docs/server-program.md).
inline constexpr int kDefaultDbTimeoutSeconds = 10;
// Opens a PostgreSQL connection; with a schema, creates it when missing and puts it
// first on the search_path. The schema must be a plain identifier ([a-z0-9_]). No wait
// for the database lasts longer than about `timeout_seconds` (plus 2 s for an answer).
std::unique_ptr<Database> OpenPostgres(const std::string& conninfo, const std::string& schema,
                                       int timeout_seconds = kDefaultDbTimeoutSeconds);

// Rolls the transaction back unless Commit() was called.
class Transaction {
 public:
  Transaction(Database& db, bool write) : db_(db) { db_.Begin(write); }
  ~Transaction() {
    if (!done_) {
      try {
        db_.Rollback();
      } catch (...) {  // a destructor must not throw; the connection reports it next use
      }
    }
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    db_.Commit();
    done_ = true;
  }

 private:
  Database& db_;
  bool done_ = false;
};

}  // namespace srv
