// The process heap, set for loading and answering large packets.
#pragma once

namespace rt {

// glibc's defaults give each thread of a busy process its own heap (up to eight per
// core) and hand freed memory back to the system as soon as it exceeds 128 KiB; a
// 10,000-row packet built and freed on one thread then pays for faulting its memory in
// again on the next call, or on the next thread. This keeps at most one heap per core,
// keeps up to 64 MiB of freed memory for reuse, and serves blocks below 16 MiB from the
// heap. Call once, at the start of main, before any thread starts.
void TuneHeapForLargePackets();

}  // namespace rt
