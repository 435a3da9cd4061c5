// The JSON-RPC handler without sockets, against a fake service that records its calls.
#include "server/rpc/rpc_handler.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/runtime/packet.h"
#include "server/rpc/fake_service_for_tests.h"

namespace srv {
namespace {

using nlohmann::json;

constexpr const char* kAuth = "Bearer tok-demo";

class RpcHandlerTest : public ::testing::Test {
 protected:
  json Ask(const std::string& body, const std::string& auth = kAuth) {
    RpcReply reply = handler_.Handle(body, auth);
    last_status_ = reply.http_status;
    if (reply.body.empty()) return json();
    return json::parse(reply.body);
  }
  json Call(const std::string& method, json params, const std::string& auth = kAuth) {
    return Ask(json{{"jsonrpc", "2.0"}, {"id", 7}, {"method", method}, {"params", params}}.dump(), auth);
  }

  fakes::FakeService service_;
  RpcHandler handler_{service_};
  int last_status_ = 0;
};

struct BadRequest {
  std::string name;
  std::string body;
  int code;
  std::string message_part;
};

std::string Nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST_F(RpcHandlerTest, MalformedRequestsGetTheStandardCodeAndSayWhatIsWrong) {
  const std::string m = R"("method":"EVT04700.rdmAloc.Echo")";
  const std::vector<BadRequest> cases = {
      {"empty body", "", rpc::kParseError, "parse error"},
      {"truncated", R"({"jsonrpc":"2.0","id":1,)", rpc::kParseError, "parse error"},
      {"invalid UTF-8", "{\"jsonrpc\":\"2.0\",\"id\":1," + m + ",\"params\":[\"\xC3\x28\"]}", rpc::kParseError,
       "parse error"},
      {"not an object", "42", rpc::kInvalidRequest, "JSON object"},
      {"string", R"("hello")", rpc::kInvalidRequest, "JSON object"},
      {"empty batch", "[]", rpc::kInvalidRequest, "empty batch"},
      {"no version", R"({"id":1,)" + m + "}", rpc::kInvalidRequest, "\"jsonrpc\" must be \"2.0\""},
      {"old version", R"({"jsonrpc":"1.0","id":1,)" + m + "}", rpc::kInvalidRequest, "\"jsonrpc\" must be"},
      {"numeric version", R"({"jsonrpc":2.0,"id":1,)" + m + "}", rpc::kInvalidRequest, "\"jsonrpc\" must be"},
      {"object id", R"({"jsonrpc":"2.0","id":{},)" + m + "}", rpc::kInvalidRequest, "\"id\" must be"},
      {"no method", R"({"jsonrpc":"2.0","id":1})", rpc::kInvalidRequest, "\"method\" must be a string"},
      {"numeric method", R"({"jsonrpc":"2.0","id":1,"method":5})", rpc::kInvalidRequest, "\"method\" must be"},
      {"named params", R"({"jsonrpc":"2.0","id":1,)" + m + R"(,"params":{"a":1}})", rpc::kInvalidRequest,
       "\"params\" must be an array"},
      {"other module", R"({"jsonrpc":"2.0","id":1,"method":"Other.rdm.Echo","params":[]})", rpc::kMethodNotFound,
       "unknown method \"Other.rdm.Echo\""},
      {"no short name", R"({"jsonrpc":"2.0","id":1,"method":"EVT04700.rdmAloc.","params":[]})", rpc::kMethodNotFound,
       "unknown method"},
      {"unknown to the service", R"({"jsonrpc":"2.0","id":1,"method":"EVT04700.rdmAloc.Nope","params":[]})",
       rpc::kMethodNotFound, "no method Nope"},
      {"bad date param", R"({"jsonrpc":"2.0","id":1,)" + m + R"(,"params":["a",{"$date":"2026-13-01T00:00:00"}]})",
       rpc::kInvalidParams, "params[1]: "},
      {"unknown object param", R"({"jsonrpc":"2.0","id":1,)" + m + R"(,"params":[{"x":1}]})", rpc::kInvalidParams,
       "params[0]: "},
      {"service refuses arity", R"({"jsonrpc":"2.0","id":1,"method":"EVT04700.rdmAloc.BadArgs","params":[]})",
       rpc::kInvalidParams, "takes 3 parameters"},
      {"too deep", R"({"jsonrpc":"2.0","id":1,)" + m + ",\"params\":[" + Nested(5000) + "]}", rpc::kInvalidRequest,
       "nested deeper than"},
      {"login arity", R"({"jsonrpc":"2.0","id":1,"method":"Auth.Login","params":["demo"]})", rpc::kInvalidParams,
       "[operator, password]"},
      {"login types", R"({"jsonrpc":"2.0","id":1,"method":"Auth.Login","params":[1,2]})", rpc::kInvalidParams,
       "both strings"},
  };
  for (const BadRequest& c : cases) {
    SCOPED_TRACE(c.name);
    const json answer = Ask(c.body);
    EXPECT_EQ(last_status_, 200);
    EXPECT_EQ(answer["jsonrpc"], "2.0");
    EXPECT_EQ(answer["error"]["code"], c.code) << answer.dump();
    EXPECT_NE(answer["error"]["message"].get<std::string>().find(c.message_part), std::string::npos)
        << answer["error"]["message"];
    EXPECT_FALSE(answer.contains("result"));
  }
  // Only the two well-formed requests that the service itself refuses reached it.
  EXPECT_EQ(service_.Log(), "demo:Nope() | demo:BadArgs()");
}

TEST_F(RpcHandlerTest, ErrorsKeepTheRequestIdWhenItIsKnown) {
  EXPECT_EQ(Ask(R"({"jsonrpc":"2.0","id":"abc","method":"EVT04700.rdmAloc.Nope"})")["id"], "abc");
  EXPECT_EQ(Ask(R"({"jsonrpc":"2.0","id":12,"method":7})")["id"], 12);
  EXPECT_TRUE(Ask(R"({"jsonrpc":"2.0","id":[1],"method":"x"})")["id"].is_null());
  EXPECT_TRUE(Ask("{").at("id").is_null());
}

TEST_F(RpcHandlerTest, EveryModuleMethodNeedsAValidToken) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "missing"},
      {"Bearer", "missing"},
      {"Bearer    ", "missing"},
      {"Basic ZGVtbzpkZW1v", "missing"},
      {"Bearer forged", "unknown or expired"},
      {"Bearer tok-expired", "unknown or expired"},
  };
  for (const auto& [auth, why] : cases) {
    SCOPED_TRACE(auth);
    const json answer = Call("EVT04700.rdmAloc.Echo", json::array({"x"}), auth);
    EXPECT_EQ(answer["error"]["code"], rpc::kNotSignedIn);
    EXPECT_NE(answer["error"]["message"].get<std::string>().find(why), std::string::npos);
  }
  EXPECT_EQ(service_.Log(), "");
  // The scheme is case-insensitive and blanks around the token do not matter.
  EXPECT_EQ(Call("EVT04700.rdmAloc.Echo", json::array({"x"}), "bearer  tok-demo ")["result"]["value"], "x");
}

TEST_F(RpcHandlerTest, SignInAnswersTokenOperatorAndBranches) {
  const json ok = Call("Auth.Login", json::array({"demo", "demo"}), "");
  EXPECT_EQ(ok["result"], (json{{"token", "tok-demo"}, {"operator", "demo"}, {"branches", {"0001", "0002"}}}));
  // The same method under the module's prefix is accepted too.
  EXPECT_EQ(Call("EVT04700.rdmAloc.Auth.Login", json::array({"demo", "demo"}), "")["result"]["token"], "tok-demo");

  const json refused = Call("Auth.Login", json::array({"demo", "wrong"}), "");
  EXPECT_EQ(refused["error"]["code"], rpc::kServerError);
  EXPECT_EQ(refused["error"]["message"], "Operador ou senha inválidos.");
  EXPECT_FALSE(refused.contains("result"));
}

TEST_F(RpcHandlerTest, ResultCarriesTheValueAndEveryParamAsTheServerLeftIt) {
  rt::DataPacket packet;
  rt::FieldDef branch;
  branch.name = "CDFILIAL";
  branch.size = 4;
  packet.fields = {branch};
  packet.rows = {{rt::Variant("0001")}};
  const json packet_json = rt::ToJson(rt::Variant(packet));

  const json answer = Call("EVT04700.rdmAloc.GetProdForn", json::array({"P01", "123.456.789-00", "0001", packet_json}));
  ASSERT_TRUE(answer.contains("result")) << answer.dump();
  EXPECT_EQ(answer["id"], 7);
  EXPECT_EQ(answer["result"]["value"], packet_json);
  // The by-reference registration comes back normalised; the others unchanged.
  EXPECT_EQ(answer["result"]["params"], json::array({"P01", "12345678900", "0001", packet_json}));
  EXPECT_EQ(service_.Log(), "demo:GetProdForn(\"P01\", \"123.456.789-00\", \"0001\", <packet 1x1>)");
}

TEST_F(RpcHandlerTest, ValuesOfEveryKindRoundTrip) {
  const json params = json::array({nullptr, true, 12, 1.5, "Orçamento", json{{"$date", "2026-01-31T10:00:00"}},
                                   json::array({1, "a", json::array()})});
  for (const json& p : params) {
    SCOPED_TRACE(p.dump());
    const json answer = Call("EVT04700.rdmAloc.Echo", json::array({p}));
    EXPECT_EQ(answer["result"]["value"], p);
    EXPECT_EQ(answer["result"]["params"], json::array({p}));
  }
  EXPECT_TRUE(Call("EVT04700.rdmAloc.Echo", json::array({2.0}))["result"]["value"].is_number_float());
}

TEST_F(RpcHandlerTest, ServiceRefusalTextPassesThroughExactly) {
  for (const std::string text : {"N_PARAM_TPCTPAG|12", "N_PARAM_CONTAGERADA", "Orçamento não cadastrado.",
                                 "  espaços  ", "changed by another user since it was loaded"}) {
    SCOPED_TRACE(text);
    service_.refusal = text;
    const json answer = Call("EVT04700.rdmAloc.Refuse", json::array());
    EXPECT_EQ(answer["error"]["code"], rpc::kServerError);
    EXPECT_EQ(answer["error"]["message"], text);
  }
}

TEST_F(RpcHandlerTest, UnexpectedFailuresAreInternalErrorsWithoutDetail) {
  const json crashed = Call("EVT04700.rdmAloc.Crash", json::array());
  EXPECT_EQ(crashed["error"]["code"], rpc::kInternalError);
  EXPECT_EQ(crashed["error"]["message"], "internal error");
  // A value that has no JSON form (a non-finite float) is the server's fault too.
  const json nan = Call("EVT04700.rdmAloc.NaN", json::array());
  EXPECT_EQ(nan["error"]["code"], rpc::kInternalError);
}

// The result is written straight from the variants: floats keep their fraction, text its
// escapes, and the id comes back exactly as sent.
TEST_F(RpcHandlerTest, SuccessBodyIsTheEnvelopeAroundTheEncodedVariants) {
  const RpcReply reply = handler_.Handle(
      R"({"jsonrpc":"2.0","id":"k\"1","method":"EVT04700.rdmAloc.Echo","params":[2.0,"a\nb",[1,{"$date":"2026-01-31T10:00:00"}]]})",
      kAuth);
  EXPECT_EQ(reply.http_status, 200);
  EXPECT_EQ(
      reply.body,
      R"({"jsonrpc":"2.0","id":"k\"1","result":{"value":2.0,"params":[2.0,"a\nb",[1,{"$date":"2026-01-31T10:00:00"}]]}})");
}

TEST_F(RpcHandlerTest, NotificationsRunButGetNoAnswer) {
  const RpcReply reply = handler_.Handle(R"({"jsonrpc":"2.0","method":"EVT04700.rdmAloc.Echo","params":["n"]})", kAuth);
  EXPECT_EQ(reply.http_status, 204);
  EXPECT_EQ(reply.body, "");
  EXPECT_EQ(service_.Log(), "demo:Echo(\"n\")");
}

// Only a valid request is a notification: an invalid one without an id is answered, with
// a null id (the example of JSON-RPC 2.0 itself first).
TEST_F(RpcHandlerTest, InvalidRequestsWithoutAnIdAreAnsweredWithANullId) {
  for (const char* body : {R"({"jsonrpc":"2.0","method":1,"params":"bar"})",
                           R"({"jsonrpc":"2.0","method":"EVT04700.rdmAloc.Echo","params":{"a":1}})",
                           R"([{"jsonrpc":"2.0","method":1,"params":"bar"}])"}) {
    SCOPED_TRACE(body);
    const RpcReply reply = handler_.Handle(body, kAuth);
    EXPECT_EQ(reply.http_status, 200);
    json answer = json::parse(reply.body);
    if (answer.is_array()) answer = answer.at(0);
    EXPECT_EQ(answer["error"]["code"], rpc::kInvalidRequest);
    EXPECT_TRUE(answer.contains("id") && answer["id"].is_null()) << reply.body;
  }
  EXPECT_EQ(service_.Log(), "");
}

TEST_F(RpcHandlerTest, BatchAnswersEachRequestInOrderAndSkipsNotifications) {
  const json answer = Ask(R"([
    {"jsonrpc":"2.0","id":1,"method":"EVT04700.rdmAloc.Echo","params":["a"]},
    {"jsonrpc":"2.0","method":"EVT04700.rdmAloc.Echo","params":["silent"]},
    17,
    {"jsonrpc":"2.0","id":"x","method":"EVT04700.rdmAloc.Refuse","params":[]}
  ])");
  ASSERT_TRUE(answer.is_array()) << answer.dump();
  ASSERT_EQ(answer.size(), 3u);
  EXPECT_EQ(answer[0]["result"]["value"], "a");
  EXPECT_EQ(answer[1]["error"]["code"], rpc::kInvalidRequest);
  EXPECT_EQ(answer[2]["id"], "x");
  EXPECT_EQ(answer[2]["error"]["code"], rpc::kServerError);
  EXPECT_EQ(service_.Log(), "demo:Echo(\"a\") | demo:Echo(\"silent\") | demo:Refuse()");

  const RpcReply only_notifications =
      handler_.Handle(R"([{"jsonrpc":"2.0","method":"EVT04700.rdmAloc.Echo","params":[1]}])", kAuth);
  EXPECT_EQ(only_notifications.http_status, 204);
  EXPECT_EQ(only_notifications.body, "");
}

TEST_F(RpcHandlerTest, OversizedBatchIsRefusedWhole) {
  json batch = json::array();
  for (int i = 0; i < 101; ++i) {
    batch.push_back({{"jsonrpc", "2.0"}, {"id", i}, {"method", "EVT04700.rdmAloc.Echo"}, {"params", {i}}});
  }
  const json answer = Ask(batch.dump());
  EXPECT_EQ(answer["error"]["code"], rpc::kInvalidRequest);
  EXPECT_NE(answer["error"]["message"].get<std::string>().find("at most 100"), std::string::npos);
  EXPECT_EQ(service_.Log(), "");
}

TEST_F(RpcHandlerTest, InvalidUtf8FromTheServiceIsAnInternalErrorNotACrash) {
  service_.raw_text = "caf\xE9";  // a Latin-1 byte from a badly filled column
  const RpcReply reply = handler_.Handle(R"({"jsonrpc":"2.0","id":1,"method":"EVT04700.rdmAloc.Raw"})", kAuth);
  const json raw = json::parse(reply.body);
  EXPECT_EQ(raw["id"], 1);
  EXPECT_EQ(raw["error"]["code"], rpc::kInternalError);
}

}  // namespace
}  // namespace srv
