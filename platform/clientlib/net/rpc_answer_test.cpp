// The one-pass reader of JSON-RPC answers: a result's value and echoed parameters as
// variants, an error's code and message, and what is wrong with an answer of odd shape.
#include "platform/clientlib/net/rpc_answer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace clib {
namespace {

using rt::DateTime;
using rt::Variant;
using rt::VariantArray;

// A packet among the parameters: it must come back whole, field definitions included.
rt::DataPacket SamplePacket() {
  rt::DataPacket p;
  rt::FieldDef code;
  code.name = "CDFILIAL";
  code.type = rt::FieldType::String;
  code.size = 4;
  rt::FieldDef number;
  number.name = "NRFORNE";
  number.type = rt::FieldType::Float;
  number.display_label = "Nr.";
  p.fields = {code, number};
  p.rows = {{Variant("0001"), Variant(12.0)}, {Variant(), Variant(3.5)}};
  return p;
}

template <class F>
std::string DecodeFailure(F&& decode) {
  try {
    decode();
  } catch (const rt::DecodeError& e) {
    return e.what();
  }
  return "<no DecodeError>";
}

TEST(RpcAnswer, ReadsResultOrError) {
  const RpcAnswer ok =
      DecodeRpcAnswer(R"({"jsonrpc":"2.0","id":7,"result":{"params":["a",2.0,)" + rt::EncodePacket(SamplePacket()) +
                      R"(],"value":[true,{"$date":"2026-01-31T10:00:00"}]}})");
  EXPECT_FALSE(ok.is_error);
  EXPECT_EQ(ok.problem, "");
  EXPECT_EQ(ok.value, (VariantArray{true, DateTime{2026, 1, 31, 10, 0, 0}}));
  ASSERT_EQ(ok.params.size(), 3u);
  EXPECT_EQ(ok.params[1].type(), Variant::Type::Float);
  EXPECT_EQ(ok.params[2].AsPacket(), SamplePacket());

  struct Case {
    const char* name;
    std::string text;
    bool is_error;
    int code;
    std::optional<std::string> message;
    std::string problem;
  };
  const Case cases[] = {
      {"error wins", R"({"result":{"value":1,"params":[]},"error":{"code":-32001,"message":"expirou"}})", true, -32001,
       "expirou", ""},
      {"error of odd shape", R"({"error":{"code":1e99,"message":5}})", true, 0, std::nullopt, ""},
      {"error not an object", R"({"error":"x"})", true, 0, std::nullopt, ""},
      {"code beyond int", R"({"error":{"code":4294967296}})", true, 0, std::nullopt, ""},
      {"neither", R"({"jsonrpc":"2.0","id":1})", false, 0, std::nullopt,
       "the answer has neither a result nor an error"},
      {"result not an object", R"({"result":[1]})", false, 0, std::nullopt, "result: expected an object, got array"},
      {"no value", R"({"result":{"params":[]}})", false, 0, std::nullopt, "the result has no value"},
      {"no params", R"({"result":{"value":1}})", false, 0, std::nullopt, "the result has no params"},
      {"params not a list", R"({"result":{"value":1,"params":{}}})", false, 0, std::nullopt,
       "params: expected a list, got object"},
      {"bad value", R"({"result":{"value":{"x":1},"params":[]}})", false, 0, std::nullopt,
       R"(an object with key 'x' is not a variant (expected "$date" or "$packet"))"},
      {"bad param", R"({"result":{"value":1,"params":[1,18446744073709551615]}})", false, 0, std::nullopt,
       "params[1]: integer 18446744073709551615 is out of range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RpcAnswer a = DecodeRpcAnswer(c.text);
    EXPECT_EQ(a.is_error, c.is_error);
    EXPECT_EQ(a.error_code, c.code);
    EXPECT_EQ(a.error_message, c.message);
    EXPECT_EQ(a.problem, c.problem);
    if (!c.problem.empty()) {
      EXPECT_TRUE(a.value.IsNull() && a.params.empty());
    }
  }

  EXPECT_EQ(DecodeFailure([] { DecodeRpcAnswer("[1]"); }), "expected a JSON-RPC response object, got array");
  EXPECT_THAT(DecodeFailure([] { DecodeRpcAnswer("<html>"); }), ::testing::StartsWith("invalid JSON: "));
}

}  // namespace
}  // namespace clib
