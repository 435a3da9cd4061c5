// Opening the configured database.
#pragma once

#include <memory>

#include "server/core/database.h"
#include "server/core/service_factory.h"

namespace srv {

// A new connection to the database that the configuration names (not migrated).
std::unique_ptr<Database> OpenDatabase(const StorageConfig& config);

}  // namespace srv
