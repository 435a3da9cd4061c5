// libFuzzer entry of the server's protocol layer: bytes straight into the JSON-RPC
// request handler, against the real business layer, with no sockets.
//   build/fuzz/fuzz/fuzz_rpc_request -max_total_time=180 <work dir> server/rpc/corpus
#include <cstddef>
#include <cstdint>

#include "server/rpc/fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return srv::FuzzOneRequest(data, size);
}
