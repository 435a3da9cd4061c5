// Versioned schema migrations, applied at start in one transaction.
#pragma once

#include "server/core/database.h"

namespace srv {

// Number of the newest migration this build knows.
int LatestSchemaVersion();

// Brings the database to the latest version: creates `schema_version` when missing
// and applies, in order and in one write transaction, every migration above the
// stored version. Safe when several servers start on one database at once.
// Throws when the database holds a version newer than this build knows.
void Migrate(Database& db);

}  // namespace srv
