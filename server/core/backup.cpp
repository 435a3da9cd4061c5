#include "server/core/backup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

#include "server/core/migrations.h"

namespace srv {
namespace {

namespace fs = std::filesystem;

constexpr int kBusyTimeoutMs = 5000;

[[noreturn]] void Fail(BackupError::Kind kind, const std::string& message) { throw BackupError(kind, message); }

// One SQLite connection, closed with the object.
class Connection {
 public:
  Connection(const std::string& name, int flags) {
    if (sqlite3_open_v2(name.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      Fail(BackupError::Kind::Failed, "cannot open " + name + ": " + message);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  }
  ~Connection() { sqlite3_close(db_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  sqlite3* get() const { return db_; }

  // The first column of every row of `sql`; a failure is reported as `kind`.
  std::vector<std::string> Column(const std::string& sql, BackupError::Kind kind) const {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      Fail(kind, sql + ": " + sqlite3_errmsg(db_));
    }
    std::vector<std::string> values;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      values.emplace_back(text ? text : "");
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) Fail(kind, sql + ": " + sqlite3_errmsg(db_));
    return values;
  }

 private:
  sqlite3* db_ = nullptr;
};

// A file that nobody writes while we read it (a backup), opened without creating its
// write-ahead log or shared memory beside it.
Connection OpenUnchanging(const std::string& path) {
  if (!fs::is_regular_file(path)) Fail(BackupError::Kind::Failed, "no file " + path);
  return {"file:" + path + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI};
}

// What a database must pass to count as a whole backup of this server's data.
int CheckDatabase(const Connection& db, const std::string& path) {
  constexpr auto kDamaged = BackupError::Kind::Damaged;
  const std::vector<std::string> verdict = db.Column("PRAGMA integrity_check", kDamaged);
  if (verdict.size() != 1 || verdict[0] != "ok") {
    Fail(kDamaged, path + " fails PRAGMA integrity_check: " + (verdict.empty() ? "no verdict" : verdict[0]));
  }
  if (!db.Column("PRAGMA foreign_key_check", kDamaged).empty()) {
    Fail(kDamaged, path + " fails PRAGMA foreign_key_check: rows refer to rows it does not hold");
  }
  if (db.Column("SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'schema_version'", kDamaged).empty()) {
    Fail(kDamaged, path + " is an SQLite database, but not one of alloc-server (no schema_version table)");
  }
  const std::vector<std::string> version = db.Column("SELECT COALESCE(MAX(version), 0) FROM schema_version", kDamaged);
  const int found = std::stoi(version.at(0));
  if (found > LatestSchemaVersion()) Fail(BackupError::Kind::TooNew, SchemaTooNew(found, LatestSchemaVersion()).what());
  return found;
}

// Copies every page of `from` into `to` in one step, so in one read transaction of the
// source: a consistent snapshot whatever is committed meanwhile.
void CopyPages(const Connection& from, const Connection& to, const std::string& what) {
  sqlite3_backup* backup = sqlite3_backup_init(to.get(), "main", from.get(), "main");
  if (!backup) Fail(BackupError::Kind::Failed, what + ": " + sqlite3_errmsg(to.get()));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  int rc = SQLITE_OK;
  // Busy only while a writer holds the log's recovery or a checkpoint its exclusive lock.
  while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) {
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) Fail(BackupError::Kind::Failed, what + ": " + sqlite3_errstr(rc));
  // A file of its own, with no write-ahead log to carry beside it.
  to.Column("PRAGMA journal_mode=DELETE", BackupError::Kind::Failed);
}

void Sync(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) Fail(BackupError::Kind::Failed, "cannot open " + path + " to sync it: " + std::strerror(errno));
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (rc != 0) Fail(BackupError::Kind::Failed, "cannot sync " + path + ": " + std::strerror(error));
}

void SyncFolderOf(const std::string& path) {
  const fs::path folder = fs::absolute(path).parent_path();
  Sync(folder.string(), O_RDONLY | O_DIRECTORY);
}

// Removes a half-made file unless told it is complete.
class Staged {
 public:
  explicit Staged(std::string path) : path_(std::move(path)) { fs::remove(path_); }
  ~Staged() {
    std::error_code ignored;
    if (!kept_) fs::remove(path_, ignored);
  }
  Staged(const Staged&) = delete;
  Staged& operator=(const Staged&) = delete;
  const std::string& path() const { return path_; }
  void MoveTo(const std::string& name) {
    Sync(path_, O_RDONLY);
    fs::rename(path_, name);
    kept_ = true;
    SyncFolderOf(name);
  }

 private:
  std::string path_;
  bool kept_ = false;
};

std::string UtcStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

}  // namespace

void BackupSqlite(const std::string& source, const std::string& destination) {
  if (fs::exists(destination)) Fail(BackupError::Kind::Failed, destination + " already exists; name a new file");
  if (!fs::is_regular_file(source)) Fail(BackupError::Kind::Failed, "no database at " + source);
  Staged staged(destination + ".partial");
  {
    // Read-write (never created) so that it reads the write-ahead log as the server's
    // connections do; it writes nothing.
    const Connection from(source, SQLITE_OPEN_READWRITE);
    const Connection to(staged.path(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    CopyPages(from, to, "backup of " + source);
    CheckDatabase(to, staged.path());
  }
  staged.MoveTo(destination);
}

int CheckBackupFile(const std::string& backup) {
  // A backup is read as one file: a log beside it would be left out, and with it what
  // was committed last.
  if (fs::exists(backup + "-wal")) {
    Fail(BackupError::Kind::Failed, backup + " has a write-ahead log beside it (" + backup +
                                        "-wal), so it is a live database, not a backup made by --backup");
  }
  return CheckDatabase(OpenUnchanging(backup), backup);
}

std::string RestoreSqlite(const std::string& backup, const std::string& database) {
  CheckBackupFile(backup);
  Staged staged(database + ".restoring");
  {
    const Connection from = OpenUnchanging(backup);
    const Connection to(staged.path(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    CopyPages(from, to, "restore of " + backup);
  }
  // The database replaced is moved aside whole, log included, so that it can still be
  // opened; a log left behind would be applied to the restored file.
  std::string kept;
  const std::string wal = database + "-wal";
  if (fs::exists(database) || fs::exists(wal)) {
    kept = database + ".replaced-" + UtcStamp();
    if (fs::exists(database)) fs::rename(database, kept);
    if (fs::exists(wal)) fs::rename(wal, kept + "-wal");
    fs::remove(database + "-shm");
  }
  staged.MoveTo(database);
  return kept;
}

}  // namespace srv
