#include "platform/runtime/heap_tuning.h"

#include <malloc.h>

#include <algorithm>
#include <thread>

namespace rt {

void TuneHeapForLargePackets() {
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  mallopt(M_ARENA_MAX, cores);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_MMAP_THRESHOLD, 16 << 20);
}

}  // namespace rt
