#include "server/core/storage.h"

namespace srv {

std::unique_ptr<Database> OpenDatabase(const StorageConfig& config) {
  if (config.backend == StorageConfig::Backend::Postgres) {
    return OpenPostgres(config.target, config.pg_schema, config.db_timeout_seconds);
  }
  return OpenSqlite(config.target);
}

}  // namespace srv
