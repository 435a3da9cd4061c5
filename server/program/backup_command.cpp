#include "server/program/backup_command.h"

#include <filesystem>
#include <iostream>

#include "server/core/backup.h"
#include "server/core/data_folder_lock.h"
#include "server/program/exit_codes.h"

namespace srv {
namespace {

int Refused(const std::string& text, int code) {
  std::cerr << "alloc-server: " << text << std::endl;
  return code;
}

int ExitCodeOf(const BackupError& e) {
  switch (e.kind) {
    case BackupError::Kind::Damaged:
      return kExitDamaged;
    case BackupError::Kind::TooNew:
      return kExitSchemaTooNew;
    case BackupError::Kind::Failed:
      break;
  }
  return kExitDatabase;
}

}  // namespace

int RunBackup(const StorageConfig& storage, const std::string& file) {
  if (storage.backend == StorageConfig::Backend::Postgres) {
    return Refused("--backup copies an SQLite database; back PostgreSQL up with pg_dump: pg_dump --format=custom "
                   "--file=FILE CONNINFO (docs/server-program.md)",
                   kExitBadCommandLine);
  }
  try {
    BackupSqlite(storage.target, file);
  } catch (const BackupError& e) {
    return Refused("backup: " + std::string(e.what()), ExitCodeOf(e));
  } catch (const std::exception& e) {
    return Refused("backup: " + std::string(e.what()), kExitDatabase);
  }
  std::cout << "backup of " << storage.target << " written to " << file << std::endl;
  return 0;
}

int RunRestore(const std::string& data_dir, const std::string& database, const std::string& file) {
  if (!database.empty()) {
    return Refused("--restore replaces the database of a data folder (--data DIR); for PostgreSQL use pg_restore: "
                   "pg_restore --clean --if-exists --dbname=CONNINFO FILE (docs/server-program.md)",
                   kExitBadCommandLine);
  }
  if (!std::filesystem::is_directory(data_dir)) return Refused("restore: no data folder " + data_dir, kExitDatabase);
  DataFolderLock lock;
  switch (lock.Take(data_dir)) {
    case DataFolderLock::Outcome::Held:
      break;
    case DataFolderLock::Outcome::InUse:
      return Refused(lock.detail() + "; stop it before restoring; nothing was changed", kExitFolderInUse);
    case DataFolderLock::Outcome::CannotWrite:
      return Refused("restore: the data folder cannot be written (" + lock.detail() + ")", kExitDatabase);
  }
  const std::string target = (std::filesystem::path(data_dir) / "alloc.db").string();
  std::string kept;
  try {
    kept = RestoreSqlite(file, target);
  } catch (const BackupError& e) {
    return Refused("restore: " + std::string(e.what()) + "; nothing was changed", ExitCodeOf(e));
  } catch (const std::exception& e) {
    return Refused("restore: " + std::string(e.what()), kExitDatabase);
  }
  std::cout << "restored " << file << " into " << target;
  if (!kept.empty()) std::cout << "; the database it replaced is kept as " << kept;
  std::cout << std::endl;
  return 0;
}

}  // namespace srv
