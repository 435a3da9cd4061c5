// Whether the program has begun destroying the runtime's process-wide objects. A
// library's detach entry that runs at program exit (after the host's registries are
// gone) must then leave them alone.
#pragma once

namespace clib {

// Starts watching: call once the registries the caller will later leave exist (their
// destruction then comes after the moment this watch reports).
void WatchRuntimeShutdown();
bool RuntimeShuttingDown();

}  // namespace clib
