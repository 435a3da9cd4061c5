// The fuzz entry of the protocol layer: bytes straight into the request handler, no
// sockets. A fuzz target (libFuzzer) only needs
//   extern "C" int LLVMFuzzerTestOneInput(const uint8_t* d, size_t n) { return srv::FuzzOneRequest(d, n); }
// linked with alloc_server_rpc. The seed corpus is server/rpc/corpus/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "server/rpc/rpc_handler.h"

namespace srv {

// Handles one request body against the real business layer over a private SQLite
// database with the demo data (made on the first call, removed at exit), signed in as
// the demo operator. Aborts when an answer is not a well-formed JSON-RPC response.
// Returns 0, as libFuzzer expects.
int FuzzOneRequest(const std::uint8_t* data, std::size_t size);

// What the handler answers to `body` with the fuzz session's token; for replaying a
// corpus in tests.
RpcReply FuzzReply(const std::string& body);

// A reply is either "204" with no body, or a JSON-RPC response (or a batch of them): an
// object with "jsonrpc":"2.0", an "id" and exactly one of "result" and "error", the
// error with an integer code and a string message.
bool IsWellFormedReply(const RpcReply& reply);

// The fuzz entry of saving the grid: the bytes draw grid deltas (rows of the demo
// database's labour items with stored, free or made-up old values and any professional,
// crew time, payment type and amount) applied one after the other with SetForneMao on
// the same private SQLite database. Whatever is sent, no item holds more allocations
// than units, a professional is at most once per item, amounts are whole cents, a
// refused delta changes nothing and an applied one stores its amounts to the cent.
// CheckOneDelta says which invariant broke ("" when none); FuzzOneDelta aborts then.
// The seed corpus is fuzz/corpus/delta/.
std::string CheckOneDelta(const std::uint8_t* data, std::size_t size);
int FuzzOneDelta(const std::uint8_t* data, std::size_t size);

}  // namespace srv
