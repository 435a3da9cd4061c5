#include "server/core/service_factory.h"

#include "server/core/alloc_service.h"
#include "server/core/migrations.h"
#include "server/core/storage.h"

namespace srv {
namespace {

// A damaged SQLite file is refused before anything is written to it. quick_check reads
// every page once (a few milliseconds for a site's data) without checking the indexes'
// contents against their tables.
void RefuseDamaged(Database& db) {
  const ResultSet verdict = db.Query("PRAGMA quick_check");
  if (verdict.empty() || verdict.Text(0, 0) != "ok") {
    throw DbError(DbError::Kind::Damaged,
                  "quick_check: " + (verdict.empty() ? std::string("no verdict") : verdict.Text(0, 0)));
  }
}

}  // namespace

std::unique_ptr<AllocService> OpenService(const StorageConfig& config) {
  {
    auto db = OpenDatabase(config);
    if (db->backend() == Database::Backend::Sqlite) RefuseDamaged(*db);
    Migrate(*db);
  }
  return std::make_unique<DbAllocService>(config, [config] { return OpenDatabase(config); });
}

}  // namespace srv
