// libFuzzer entry of saving the grid: the bytes draw grid deltas applied with
// SetForneMao to a real SQLite database with the demo data (server/rpc/fuzz_entry.h);
// it aborts when an invariant breaks (units per item, a professional once per item,
// money in whole cents, a refused delta changing anything).
//   build/fuzz/fuzz/fuzz_delta_apply -max_total_time=600 <work dir> fuzz/corpus/delta
#include <cstddef>
#include <cstdint>

#include "server/rpc/fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return srv::FuzzOneDelta(data, size);
}
