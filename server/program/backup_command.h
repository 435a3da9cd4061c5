// `alloc-server --backup FILE` and `--restore FILE` (docs/server-program.md): what they
// print and the exit code they end with.
#pragma once

#include <string>

#include "server/core/service_factory.h"

namespace srv {

// Copies the database of `storage` into FILE while servers keep running on it. On
// PostgreSQL it points to pg_dump instead.
int RunBackup(const StorageConfig& storage, const std::string& file);

// Restores FILE into the data folder `data_dir` of a stopped server (refused while a
// server holds the folder). `database`: the --database option, for which it points to
// pg_restore or to --data instead.
int RunRestore(const std::string& data_dir, const std::string& database, const std::string& file);

}  // namespace srv
