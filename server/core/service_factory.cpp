#include "server/core/service_factory.h"

#include "server/core/alloc_service.h"
#include "server/core/migrations.h"
#include "server/core/storage.h"

namespace srv {

std::unique_ptr<AllocService> OpenService(const StorageConfig& config) {
  {
    auto db = OpenDatabase(config);
    Migrate(*db);
  }
  return std::make_unique<DbAllocService>(config, [config] { return OpenDatabase(config); });
}

}  // namespace srv
