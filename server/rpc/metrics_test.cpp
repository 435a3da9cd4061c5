// GET /metrics: read by the rules of Prometheus' text exposition format (every line
// parsed: HELP and TYPE, names, labels and their escapes, values; histograms'
// buckets cumulative, +Inf equal to _count), and moved by the calls it counts.
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "server/rpc/fake_service_for_tests.h"
#include "server/rpc/rpc_handler.h"
#include "server/rpc/server_process_for_tests.h"

namespace srv {
namespace {

using fakes::ServerProcess;
using fakes::TempDir;

// One sample: its name and labels as written, and its value.
struct SampleLine {
  std::string name;
  std::map<std::string, std::string> labels;
  double value = 0;
};

struct Exposition {
  std::map<std::string, std::string> types;  // family -> counter, gauge, histogram, ...
  std::vector<SampleLine> samples;
  // The value of the sample of `name` with exactly `labels`; NaN when there is none.
  double Value(const std::string& name, const std::map<std::string, std::string>& labels) const {
    for (const SampleLine& s : samples) {
      if (s.name == name && s.labels == labels) return s.value;
    }
    return std::nan("");
  }
};

double ParseValue(const std::string& text) {
  if (text == "+Inf") return std::numeric_limits<double>::infinity();
  if (text == "-Inf") return -std::numeric_limits<double>::infinity();
  if (text == "NaN") return std::numeric_limits<double>::quiet_NaN();
  std::size_t used = 0;
  const double value = std::stod(text, &used);
  if (used != text.size()) throw std::runtime_error("not a number: " + text);
  return value;
}

// The family a sample belongs to: a histogram's _bucket, _sum and _count are its own.
std::string FamilyOf(const std::string& name, const std::map<std::string, std::string>& types) {
  for (const char* suffix : {"_bucket", "_sum", "_count"}) {
    const std::string s = suffix;
    if (name.size() > s.size() && name.ends_with(s)) {
      std::string base = name.substr(0, name.size() - s.size());
      if (types.count(base) && types.at(base) == "histogram") return base;
    }
  }
  return name;
}

// Parses the text by the format's rules into `out`; every fault is a test failure
// naming its line.
void ParseInto(const std::string& text, Exposition& out) {
  static const std::regex kName("[a-zA-Z_:][a-zA-Z0-9_:]*");
  static const std::regex kLabelName("[a-zA-Z_][a-zA-Z0-9_]*");
  static const std::set<std::string> kTypes = {"counter", "gauge", "histogram", "summary", "untyped"};
  std::set<std::string> helped;
  EXPECT_TRUE(text.empty() || text.back() == '\n') << "the last line ends with a line feed";
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    SCOPED_TRACE("line " + std::to_string(number) + ": " + line);
    ASSERT_FALSE(line.empty()) << "no empty lines";
    if (line.starts_with("# HELP ") || line.starts_with("# TYPE ")) {
      std::istringstream words(line.substr(7));
      std::string name, rest;
      words >> name;
      std::getline(words, rest);
      ASSERT_TRUE(std::regex_match(name, kName));
      if (line[2] == 'H') {
        EXPECT_TRUE(helped.insert(name).second) << "one HELP per family";
        continue;
      }
      rest.erase(0, rest.find_first_not_of(' '));
      ASSERT_TRUE(kTypes.count(rest)) << rest;
      EXPECT_FALSE(out.types.count(name)) << "one TYPE per family";
      for (const SampleLine& s : out.samples) EXPECT_NE(FamilyOf(s.name, out.types), name) << "TYPE before samples";
      out.types[name] = rest;
      continue;
    }
    ASSERT_NE(line.front(), '#') << "a comment that is neither HELP nor TYPE";
    SampleLine sample;
    std::size_t at = line.find_first_of("{ ");
    ASSERT_NE(at, std::string::npos);
    sample.name = line.substr(0, at);
    ASSERT_TRUE(std::regex_match(sample.name, kName));
    if (line[at] == '{') {
      ++at;
      while (line[at] != '}') {
        const std::size_t equals = line.find('=', at);
        ASSERT_NE(equals, std::string::npos);
        const std::string label = line.substr(at, equals - at);
        ASSERT_TRUE(std::regex_match(label, kLabelName)) << label;
        ASSERT_EQ(line[equals + 1], '"');
        std::string value;
        std::size_t i = equals + 2;
        for (; i < line.size() && line[i] != '"'; ++i) {
          if (line[i] == '\\') {
            ++i;
            ASSERT_TRUE(i < line.size() && (line[i] == '\\' || line[i] == '"' || line[i] == 'n')) << "bad escape";
            value += line[i] == 'n' ? '\n' : line[i];
          } else {
            value += line[i];
          }
        }
        ASSERT_LT(i, line.size()) << "label value not closed";
        EXPECT_TRUE(sample.labels.emplace(label, value).second) << "label given twice";
        at = i + 1;
        if (line[at] == ',') ++at;
      }
      ++at;
    }
    ASSERT_EQ(line[at], ' ');
    const std::string value = line.substr(at + 1);
    ASSERT_EQ(value.find(' '), std::string::npos) << "no timestamps are written";
    sample.value = ParseValue(value);
    const std::string family = FamilyOf(sample.name, out.types);
    ASSERT_TRUE(out.types.count(family)) << "a sample of a family without TYPE";
    if (out.types[family] == "counter") {
      EXPECT_GE(sample.value, 0) << "counters are not negative";
    }
    out.samples.push_back(std::move(sample));
  }
  // Histograms: per label set, buckets in ascending order of le, cumulative, +Inf last and
  // equal to _count; a _sum beside them.
  for (const auto& [family, type] : out.types) {
    if (type != "histogram") continue;
    std::map<std::map<std::string, std::string>, std::vector<std::pair<double, double>>> series;
    for (const SampleLine& s : out.samples) {
      if (s.name != family + "_bucket") continue;
      std::map<std::string, std::string> rest = s.labels;
      EXPECT_TRUE(rest.count("le")) << family << ": a bucket without le";
      const double le = ParseValue(rest["le"]);
      rest.erase("le");
      series[rest].emplace_back(le, s.value);
    }
    EXPECT_FALSE(series.empty()) << family;
    for (const auto& [labels, buckets] : series) {
      for (std::size_t i = 1; i < buckets.size(); ++i) {
        EXPECT_LT(buckets[i - 1].first, buckets[i].first) << family << ": le ascending";
        EXPECT_LE(buckets[i - 1].second, buckets[i].second) << family << ": buckets cumulative";
      }
      ASSERT_TRUE(std::isinf(buckets.back().first)) << family << ": +Inf bucket last";
      EXPECT_EQ(buckets.back().second, out.Value(family + "_count", labels)) << family << ": +Inf = count";
      EXPECT_FALSE(std::isnan(out.Value(family + "_sum", labels))) << family << ": a _sum";
    }
  }
}

Exposition Parse(const std::string& text) {
  Exposition out;
  ParseInto(text, out);
  return out;
}

std::vector<std::string> ServerArgs(const TempDir& data) {
  return {"--port", "0", "--data", data.path().string(), "--seed-demo", "--log-level", "warn",
          "--password-iterations", "1000"};
}

std::string Call(httplib::Client& http, const std::string& token, const std::string& method,
                 const nlohmann::json& params) {
  const nlohmann::json request = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
  httplib::Headers headers;
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
  auto answer = http.Post("/rpc", headers, request.dump(), "application/json");
  if (!answer) throw std::runtime_error("no answer to " + method);
  return answer->body;
}

Exposition Scrape(httplib::Client& http) {
  auto answer = http.Get("/metrics");
  if (!answer) throw std::runtime_error("no answer to GET /metrics");
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(answer->get_header_value("Content-Type"), kMetricsContentType);
  return Parse(answer->body);
}

TEST(Metrics, ReadByTheFormatsRulesAndMovedByTheCallsTheyCount) {
  TempDir data;
  ServerProcess server;
  ASSERT_TRUE(server.Start(ServerArgs(data))) << server.Output();
  httplib::Client http("127.0.0.1", server.Port());
  http.set_keep_alive(true);

  const Exposition before = Scrape(http);
  EXPECT_EQ(before.types.at("alloc_rpc_calls_total"), "counter");
  EXPECT_EQ(before.types.at("alloc_rpc_call_duration_seconds"), "histogram");
  EXPECT_EQ(before.types.at("alloc_http_connections_open"), "gauge");
  EXPECT_EQ(before.types.at("alloc_db_connections_in_use"), "gauge");
  EXPECT_GE(before.Value("alloc_http_connections_open", {}), 1) << "this scrape's own connection";

  const std::string token = nlohmann::json::parse(Call(http, "", "Auth.Login", {"demo", "demo"}))["result"]["token"];
  Call(http, token, "EVT04700.rdmAloc.GetSequencial", {"0000000012", "01"});
  Call(http, token, "EVT04700.rdmAloc.GetSequencial", {"0000000012"});  // one parameter short
  Call(http, "", "EVT04700.rdmAloc.GetSequencial", {"0000000012", "01"});
  Call(http, "", "Auth.Login", {"demo", "wrong"});
  Call(http, token, "EVT04700.rdmAloc.NoSuchMethod", {});

  const Exposition after = Scrape(http);
  const auto moved = [&](const std::string& name, const std::map<std::string, std::string>& labels) {
    return after.Value(name, labels) - before.Value(name, labels);
  };
  struct Case {
    std::string method, outcome;
    double by;
  };
  for (const Case& c : std::vector<Case>{{"GetSequencial", "ok", 1},
                                         {"GetSequencial", "invalid", 1},
                                         {"GetSequencial", "not_signed_in", 1},
                                         {"GetSequencial", "refused", 0},
                                         {"Auth.Login", "ok", 1},
                                         {"Auth.Login", "refused", 1},
                                         {"other", "invalid", 1},
                                         {"SetForneMao", "ok", 0}}) {
    EXPECT_EQ(moved("alloc_rpc_calls_total", {{"method", c.method}, {"outcome", c.outcome}}), c.by)
        << c.method << " " << c.outcome;
  }
  EXPECT_EQ(moved("alloc_rpc_call_duration_seconds_count", {{"method", "GetSequencial"}}), 3);
  EXPECT_GT(moved("alloc_rpc_call_duration_seconds_sum", {{"method", "GetSequencial"}}), 0);
  EXPECT_EQ(moved("alloc_sign_ins_refused_total", {{"reason", "wrong_credentials"}}), 1);
  EXPECT_EQ(after.Value("alloc_db_connections_in_use", {}), 0) << "no call is running";
  EXPECT_GE(after.Value("alloc_db_connections_idle", {}), 1) << "the calls left their connection in the pool";
  EXPECT_EQ(server.Stop(), 0);
}

// Only loopback reads the metrics without a token, unless the option says otherwise.
TEST(Metrics, FromAnotherAddressOnlyWithATokenUnlessAllowed) {
  fakes::FakeService service;
  const RpcHandler guarded(service);
  RpcLimits open_limits;
  open_limits.metrics_from_any_address = true;
  const RpcHandler open(service, open_limits);
  struct Case {
    const RpcHandler* handler;
    std::string peer, authorization;
    int status;
  };
  for (const Case& c : std::vector<Case>{{&guarded, "127.0.0.1", "", 200},
                                         {&guarded, "::1", "", 200},
                                         {&guarded, "::ffff:127.0.0.1", "", 200},
                                         {&guarded, "10.0.0.7", "", 401},
                                         {&guarded, "10.0.0.7", "Bearer forged", 401},
                                         {&guarded, "10.0.0.7", "Bearer tok-demo", 200},
                                         {&guarded, "128.0.0.1", "", 401},
                                         {&open, "10.0.0.7", "", 200}}) {
    const RpcReply reply = c.handler->Metrics(c.authorization, c.peer, 3);
    EXPECT_EQ(reply.http_status, c.status) << c.peer << " " << c.authorization;
    if (reply.http_status == 200) {
      EXPECT_EQ(Parse(reply.body).Value("alloc_http_connections_open", {}), 3);
    }
  }
}

}  // namespace
}  // namespace srv
