// Backup and restore of the SQLite database (PostgreSQL has pg_dump and pg_restore:
// docs/server-program.md).
#pragma once

#include <stdexcept>
#include <string>

namespace srv {

// Why a backup or restore did not happen. Damaged: the file to restore from is not a
// database of this server or fails its checks. Nothing was changed in either case.
struct BackupError : std::runtime_error {
  enum class Kind { Failed, Damaged, TooNew };
  BackupError(Kind k, const std::string& message) : std::runtime_error(message), kind(k) {}
  Kind kind;
};

// Copies the database file `source` into the new file `destination` with SQLite's
// online backup API while servers keep writing to it: the copy is one consistent
// snapshot (every commit acknowledged before the copy began is in it), and the saves go
// on meanwhile (a reader of a WAL database blocks no writer). The copy is written under
// a temporary name, checked (integrity and foreign keys), synced and only then given
// its name, so a file of that name is always a whole backup. Refuses an existing
// destination.
void BackupSqlite(const std::string& source, const std::string& destination);

// Checks a backup file before a restore: a SQLite database that passes
// `PRAGMA integrity_check` and `PRAGMA foreign_key_check` and holds this server's
// schema at a version this build knows. Returns that version.
int CheckBackupFile(const std::string& backup);

// Replaces the database file `database` (of a stopped server: the caller holds the
// data folder's lock) by a copy of `backup`, after CheckBackupFile. The database it
// replaces is kept beside it, whole with its write-ahead log, under a name returned
// here ("" when there was none).
std::string RestoreSqlite(const std::string& backup, const std::string& database);

}  // namespace srv
