// Versioned schema migrations, applied at start in one transaction.
#pragma once

#include <stdexcept>

#include "server/core/database.h"

namespace srv {

// The database was written by a newer release: this one refuses to touch it.
struct SchemaTooNew : std::runtime_error {
  SchemaTooNew(int found, int known);
  int found;  // the database's schema version
  int known;  // the newest this build knows
};

// Number of the newest migration this build knows.
int LatestSchemaVersion();

// Brings the database to the latest version: creates `schema_version` when missing
// and applies, in order and in one write transaction, every migration above the
// stored version. Safe when several servers start on one database at once.
// Throws SchemaTooNew when the database holds a version newer than this build knows.
void Migrate(Database& db);

// The same up to `version` only (at most LatestSchemaVersion()): what a database of
// that release holds. For the upgrade tests, which build older databases this way.
void MigrateTo(Database& db, int version);

// The schema version a database holds (0 when it has none yet).
int StoredSchemaVersion(Database& db);

}  // namespace srv
