#include "platform/clientlib/net/rpc_answer.h"

#include <limits>
#include <utility>

namespace clib {
namespace {

[[noreturn]] void Fail(const std::string& message) { throw rt::DecodeError(message); }

void ReadError(const rt::JsonNode& error, RpcAnswer& answer) {
  answer.is_error = true;
  error.ForEachMember([&](std::string_view key, const rt::JsonNode& value) {
    const std::optional<std::int64_t> code = value.Int();
    if (key == "code" && code && *code >= std::numeric_limits<int>::min() && *code <= std::numeric_limits<int>::max())
      answer.error_code = static_cast<int>(*code);
    const std::optional<std::string_view> message = value.String();
    if (key == "message" && message) answer.error_message = std::string(*message);
  });
}

// The value and the parameters echoed back; both are whole variants of their own (the
// envelope does not count towards their nesting).
void ReadResult(const std::optional<rt::JsonNode>& result, RpcAnswer& answer) {
  if (!result) Fail("the answer has neither a result nor an error");
  if (!result->IsObject()) Fail(std::string("result: expected an object, got ") + result->KindName());
  std::optional<rt::JsonNode> value, params;
  result->ForEachMember([&](std::string_view key, const rt::JsonNode& member) {
    if (key == "value") value = member;
    if (key == "params") params = member;
  });
  if (!value) Fail("the result has no value");
  if (!params) Fail("the result has no params");
  if (!params->IsArray()) Fail(std::string("params: expected a list, got ") + params->KindName());
  answer.value = value->ToVariant();
  answer.params.reserve(params->Size());
  params->ForEachItem([&](const rt::JsonNode& item) {
    try {
      answer.params.push_back(item.ToVariant());
    } catch (const rt::DecodeError& e) {
      Fail("params[" + std::to_string(answer.params.size()) + "]: " + e.what());
    }
  });
}

}  // namespace

RpcAnswer DecodeRpcAnswer(rt::JsonText text, const rt::DecodeLimits& limits) {
  RpcAnswer answer;
  rt::ReadJsonText(text, limits, [&](const rt::JsonNode& root) {
    if (!root.IsObject()) Fail(std::string("expected a JSON-RPC response object, got ") + root.KindName());
    std::optional<rt::JsonNode> error, result;
    root.ForEachMember([&](std::string_view key, const rt::JsonNode& value) {
      if (key == "error") error = value;
      if (key == "result") result = value;
    });
    if (error) {
      ReadError(*error, answer);
      return;
    }
    try {
      ReadResult(result, answer);
    } catch (const rt::DecodeError& e) {
      answer = RpcAnswer{};
      answer.problem = e.what();
    }
  });
  return answer;
}

}  // namespace clib
