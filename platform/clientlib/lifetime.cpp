#include "platform/clientlib/lifetime.h"

namespace clib {
namespace {

bool shutting_down = false;  // trivially destructible: readable until the very end

// Constructed after the registries, so destroyed before them (reverse order).
struct TShutdownWatch {
  ~TShutdownWatch() { shutting_down = true; }
};

}  // namespace

void WatchRuntimeShutdown() { static TShutdownWatch watch; }

bool RuntimeShuttingDown() { return shutting_down; }

}  // namespace clib
