// SQLite backend: one connection per object; statements prepared once and cached.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "server/core/database.h"
#include "server/core/group_sync.h"

namespace srv {
namespace {

constexpr int kBusyTimeoutMs = 5000;

// What the connections of one database file in this process share.
// Writers wait their turn on `turn` instead of in SQLite's busy handler, which sleeps and
// retries (up to 100 ms a turn) and so lets a queue of writers wait far longer than
// their transactions take. Other processes on the same file still meet SQLite's own lock
// and busy timeout. A commit is made durable by `sync` after the turn has passed on
// (group_sync.h): the connections run with synchronous=NORMAL, which in WAL mode writes a
// commit without syncing it, and the commit is acknowledged only once a sync begun after
// it has finished, as synchronous=FULL would have, but one device flush serves every
// writer that committed meanwhile.
struct SharedFile {
  explicit SharedFile(std::string database) : path(std::move(database)), sync([this] { SyncWal(); }) {}

  // Flushes the write-ahead log (where every commit lands first), or the database file
  // when there is no log: a checkpoint that moved the log into the database and removed it
  // has synced the database first, but flushing it again costs little and assumes nothing.
  void SyncWal() const {
    int fd = ::open((path + "-wal").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw DbError(DbError::Kind::Other, "cannot open " + path + " to sync it: " + std::strerror(errno));
    const int rc = ::fdatasync(fd);
    const int error = errno;
    ::close(fd);
    if (rc != 0) throw DbError(DbError::Kind::Other, "cannot sync " + path + ": " + std::strerror(error));
  }

  const std::string path;
  std::timed_mutex turn;
  GroupSync sync;
};

// The shared state of a database file, by its canonical path; null for memory databases
// and URIs, which keep synchronous=FULL and SQLite's own locking.
std::shared_ptr<SharedFile> SharedFileOf(const std::string& path) {
  if (path.empty() || path == ":memory:" || path.starts_with("file:")) return nullptr;
  static std::mutex guard;
  static std::map<std::string, std::weak_ptr<SharedFile>> files;
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  const std::string key = error ? path : canonical.string();
  std::lock_guard lock(guard);
  std::shared_ptr<SharedFile> file = files[key].lock();
  if (!file) {
    file = std::make_shared<SharedFile>(key);
    files[key] = file;
  }
  return file;
}

class SqliteDatabase final : public Database {
 public:
  explicit SqliteDatabase(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw DbError(DbError::Kind::Other, "cannot open SQLite database " + path + ": " + message);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    shared_ = SharedFileOf(path);
    try {
      Run(std::string("PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; PRAGMA synchronous=") +
          (shared_ ? "NORMAL;" : "FULL;"));
    } catch (...) {
      // A damaged file fails here; the destructor does not run for a constructor that throws.
      sqlite3_close(db_);
      throw;
    }
  }
  ~SqliteDatabase() override {
    for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
    sqlite3_close(db_);
  }

  Backend backend() const override { return Backend::Sqlite; }

  ResultSet Query(const std::string& sql, const std::vector<SqlValue>& params) override {
    sqlite3_stmt* stmt = Prepare(sql, params);
    Reset reset{stmt};
    std::vector<std::string> columns;
    const int count = sqlite3_column_count(stmt);
    columns.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) columns.emplace_back(sqlite3_column_name(stmt, i));
    ResultSet result(std::move(columns));
    for (;;) {
      const int rc = sqlite3_step(stmt);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) Fail(rc, sql);
      for (int i = 0; i < count; ++i) AddColumn(stmt, i, result);
    }
    return result;
  }

  std::int64_t Execute(const std::string& sql, const std::vector<SqlValue>& params) override {
    sqlite3_stmt* stmt = Prepare(sql, params);
    Reset reset{stmt};
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) Fail(rc, sql);
    const std::int64_t changed = sqlite3_changes(db_);
    // A write outside a transaction committed as it ran.
    if (shared_ && sqlite3_get_autocommit(db_) && !sqlite3_stmt_readonly(stmt)) MakeDurable(shared_->sync.Committed());
    return changed;
  }

  void ExecuteScript(const std::string& sql) override {
    Run(sql);
    // Statements outside a transaction committed as they ran.
    if (shared_ && sqlite3_get_autocommit(db_)) MakeDurable(shared_->sync.Committed());
  }

  void Begin(bool write) override {
    if (!write) return Run("BEGIN");
    if (shared_) {
      writer_turn_ = std::unique_lock(shared_->turn, std::defer_lock);
      if (!writer_turn_.try_lock_for(std::chrono::milliseconds(kBusyTimeoutMs))) {
        throw DbError(DbError::Kind::Busy, "database is locked");
      }
    }
    try {
      Run("BEGIN IMMEDIATE");
    } catch (...) {
      EndWriterTurn();
      throw;
    }
  }
  void Commit() override {
    const bool wrote = writer_turn_.owns_lock();
    try {
      Run("COMMIT");
    } catch (...) {
      EndWriterTurn();  // only when the transaction did end
      throw;
    }
    const std::uint64_t ticket = wrote ? shared_->sync.Committed() : 0;
    EndWriterTurn();
    if (wrote) MakeDurable(ticket);  // the next writer goes on meanwhile
  }
  void Rollback() override {
    if (!sqlite3_get_autocommit(db_)) {
      try {
        Run("ROLLBACK");
      } catch (...) {
        EndWriterTurn();
        throw;
      }
    }
    EndWriterTurn();
  }
  const char* ForUpdate() const override { return ""; }
  void LockForMigration() override {}  // BEGIN IMMEDIATE already excludes other writers
  bool Healthy() const override { return sqlite3_get_autocommit(db_) != 0; }

 private:
  struct Reset {
    sqlite3_stmt* stmt;
    ~Reset() {
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);
    }
  };

  void Run(const std::string& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
      std::string message = error ? error : sqlite3_errstr(rc);
      sqlite3_free(error);
      throw DbError(KindOf(rc), message);
    }
  }

  DbError::Kind KindOf(int rc) const {
    switch (rc) {
      case SQLITE_CONSTRAINT_UNIQUE:
      case SQLITE_CONSTRAINT_PRIMARYKEY:
        return DbError::Kind::UniqueViolation;
      case SQLITE_CONSTRAINT_FOREIGNKEY:
        return DbError::Kind::ForeignKeyViolation;
      case SQLITE_CONSTRAINT_CHECK:
        return DbError::Kind::CheckViolation;
      default:
        break;
    }
    switch (rc & 0xff) {
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
        return DbError::Kind::Busy;
      case SQLITE_FULL:
        return DbError::Kind::DiskFull;
      case SQLITE_READONLY:
        return DbError::Kind::ReadOnly;
      case SQLITE_CORRUPT:
      case SQLITE_NOTADB:
        return DbError::Kind::Damaged;
      case SQLITE_IOERR:  // a write the file system refused
        if (sqlite3_system_errno(db_) == ENOSPC) return DbError::Kind::DiskFull;
        if (sqlite3_system_errno(db_) == EROFS) return DbError::Kind::ReadOnly;
        break;
      default:
        break;
    }
    return DbError::Kind::Other;
  }

  [[noreturn]] void Fail(int rc, const std::string& sql) {
    throw DbError(KindOf(rc), std::string(sqlite3_errmsg(db_)) + " [" + sql + "]");
  }

  sqlite3_stmt* Prepare(const std::string& sql, const std::vector<SqlValue>& params) {
    sqlite3_stmt*& stmt = cache_[sql];
    if (!stmt) {
      const int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
      if (rc != SQLITE_OK) {
        cache_.erase(sql);
        Fail(rc, sql);
      }
    }
    if (sqlite3_bind_parameter_count(stmt) != static_cast<int>(params.size())) {
      throw DbError(DbError::Kind::Other, "parameter count mismatch [" + sql + "]");
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
      const int at = static_cast<int>(i) + 1;
      const SqlValue& v = params[i];
      int rc;
      if (auto s = std::get_if<std::string>(&v)) {
        rc = sqlite3_bind_text(stmt, at, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
      } else if (auto n = std::get_if<std::int64_t>(&v)) {
        rc = sqlite3_bind_int64(stmt, at, *n);
      } else if (auto d = std::get_if<double>(&v)) {
        rc = sqlite3_bind_double(stmt, at, *d);
      } else {
        rc = sqlite3_bind_null(stmt, at);
      }
      if (rc != SQLITE_OK) Fail(rc, sql);
    }
    return stmt;
  }

  // The value is read through sqlite3_column_value once rather than three column calls
  // (each takes the connection's error state); the connection has no mutex (NOMUTEX) and
  // one thread uses it at a time, so the value needs no protection.
  static void AddColumn(sqlite3_stmt* stmt, int i, ResultSet& result) {
    sqlite3_value* value = sqlite3_column_value(stmt, i);
    switch (sqlite3_value_type(value)) {
      case SQLITE_INTEGER:
        return result.AddInt(sqlite3_value_int64(value));
      case SQLITE_FLOAT:
        return result.AddFloat(sqlite3_value_double(value));
      case SQLITE_NULL:
        return result.AddNull();
      default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        if (text == nullptr) throw DbError(DbError::Kind::Other, "out of memory reading a text value");
        return result.AddText({text, static_cast<std::size_t>(sqlite3_value_bytes(value))});
      }
    }
  }

  // Returns once the commit is on disk; a commit that cannot be made durable is reported
  // as a failure (it is in the file, so a sent-again save finds it applied).
  void MakeDurable(std::uint64_t ticket) { shared_->sync.WaitDurable(ticket); }

  // The next writer's turn comes once this connection's write transaction has ended.
  void EndWriterTurn() {
    if (writer_turn_.owns_lock() && sqlite3_get_autocommit(db_)) writer_turn_.unlock();
  }

  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*> cache_;
  std::shared_ptr<SharedFile> shared_;  // null: no in-process queue or group sync (memory databases)
  std::unique_lock<std::timed_mutex> writer_turn_;
};

}  // namespace

std::unique_ptr<Database> OpenSqlite(const std::string& path) { return std::make_unique<SqliteDatabase>(path); }

}  // namespace srv
