// The reader of the application server's JSON-RPC 2.0 answers: one pass over the text,
// straight into variants, with the packet reader's checks (docs/protocol.md).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/packet_json.h"
#include "platform/runtime/variant.h"

namespace clib {

// A JSON-RPC 2.0 response: either its error or its result
// {"value": <variant>, "params": [<variant>, ...]}.
struct RpcAnswer {
  bool is_error = false;
  // An error: its code when that is an integer that fits, else 0; its message when that
  // is a string.
  int error_code = 0;
  std::optional<std::string> error_message;
  // A result: what is wrong with it ("" when it is well formed), else its parts.
  std::string problem;
  rt::Variant value;
  std::vector<rt::Variant> params;
};

// Throws rt::DecodeError only when the text is not a JSON object; an ill-formed result is
// reported in `problem`. An "error" member wins over a "result". A std::string with room
// after its text (rt::JsonText) is parsed where it is, without a padded copy.
RpcAnswer DecodeRpcAnswer(rt::JsonText text, const rt::DecodeLimits& limits = {});

}  // namespace clib
