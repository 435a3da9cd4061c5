// Replays the seed corpus of the fuzz entry (server/rpc/corpus/*.json, hostile requests)
// through the handler, against the fake service and against the real business layer:
// every one gets a well-formed JSON-RPC answer, none a crash.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "server/rpc/fake_service_for_tests.h"
#include "server/rpc/fuzz_entry.h"
#include "server/rpc/rpc_handler.h"

namespace srv {
namespace {

struct Seed {
  std::string name;
  std::string body;
};

std::vector<Seed> Corpus(const std::filesystem::path& folder = ALLOC_RPC_CORPUS_DIR) {
  std::vector<Seed> seeds;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    seeds.push_back({entry.path().filename().string(), text.str()});
  }
  return seeds;
}

TEST(FuzzCorpus, EveryHostileRequestGetsAWellFormedAnswer) {
  const std::vector<Seed> seeds = Corpus();
  ASSERT_GE(seeds.size(), 12u);
  fakes::FakeService fake;
  RpcHandler handler(fake);
  for (const Seed& seed : seeds) {
    SCOPED_TRACE(seed.name);
    const RpcReply with_fake = handler.Handle(seed.body, "Bearer tok-demo");
    EXPECT_TRUE(IsWellFormedReply(with_fake)) << with_fake.body;
    const RpcReply with_real = FuzzReply(seed.body);
    EXPECT_TRUE(IsWellFormedReply(with_real)) << with_real.body;
    EXPECT_EQ(FuzzOneRequest(reinterpret_cast<const std::uint8_t*>(seed.body.data()), seed.body.size()), 0);
  }
}

// The seeds that must be refused are refused by the real layer, and nothing it refuses
// is reported as an internal error.
TEST(FuzzCorpus, RealLayerRefusesWithTheRightCodes) {
  const std::vector<std::pair<std::string, int>> expected = {
      {"deep_nesting.json", rpc::kInvalidRequest},     {"invalid_utf8.json", rpc::kParseError},
      {"number_overflow.json", rpc::kParseError},      {"packet_field_size.json", rpc::kInvalidParams},
      {"delta_wrong_width.json", rpc::kInvalidParams}, {"wrong_types.json", rpc::kInvalidParams},
      {"delta_stale.json", rpc::kServerError},         {"delta_foreign_branch.json", rpc::kServerError},
      {"login_types.json", rpc::kInvalidParams},       {"nul_in_method.json", rpc::kMethodNotFound},
  };
  for (const Seed& seed : Corpus()) {
    for (const auto& [name, code] : expected) {
      if (seed.name != name) continue;
      SCOPED_TRACE(name);
      const auto answer = nlohmann::json::parse(FuzzReply(seed.body).body);
      EXPECT_EQ(answer["error"]["code"], code) << answer.dump();
    }
  }
  const auto valid = nlohmann::json::parse(
      FuzzReply(R"({"jsonrpc":"2.0","id":1,"method":"EVT04700.rdmAloc.GetSequencial","params":["0000000012","01"]})")
          .body);
  EXPECT_EQ(valid["result"]["value"]["$packet"]["rows"], nlohmann::json::parse(R"([["0000000012","01"]])"));
}

// The grid deltas of the save entry's seeds (fuzz/corpus/delta), applied one after the
// other to one database: every invariant holds after each.
TEST(FuzzCorpus, RandomDeltasNeverBreakAnInvariant) {
  const std::vector<Seed> seeds = Corpus(ALLOC_DELTA_CORPUS_DIR);
  ASSERT_GE(seeds.size(), 10u);
  for (const Seed& seed : seeds) {
    EXPECT_EQ(CheckOneDelta(reinterpret_cast<const std::uint8_t*>(seed.body.data()), seed.body.size()), "")
        << seed.name;
  }
}

}  // namespace
}  // namespace srv
