// The change feed end to end: real server processes, clerks signed in over loopback, a
// long poll on POST /changes while another session saves. Covers who hears what (other
// sessions yes, one's own and another branch's no), how soon, through two servers on
// one PostgreSQL database, after a server restart, and what a bad poll is told.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "server/core/change_feed.h"
#include "server/core/database.h"
#include "server/rpc/saving_clerks_for_tests.h"

namespace srv {
namespace {

using fakes::Clock;
using fakes::ServerProcess;
using fakes::TempDir;
using json = nlohmann::json;
using ::testing::HasSubstr;

// The demo budget sequence whose allocations the saving fixture owns.
const testing::OwnedAllocation& Owned() { return testing::DemoOwnedAllocations().front(); }
// Where a subscriber stands: its cursor and the ids below it it has seen lately.
struct Heard {
  std::int64_t after = 0;
  json seen = json::array();
};
json Subscription(std::optional<Heard> heard) {
  json s = {{"branch", "0001"}, {"number", Owned().number}, {"sequence", Owned().sequence}};
  if (heard) {
    s["after"] = heard->after;
    s["seen"] = heard->seen;
  }
  return s;
}

std::string SignIn(int port, const std::string& who) {
  httplib::Client client("127.0.0.1", port);
  const json login = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "Auth.Login"}, {"params", {who, who}}};
  const auto result = client.Post("/rpc", login.dump(), "application/json");
  if (!result) return {};
  return json::parse(result->body)["result"].value("token", "");
}

struct PollAnswer {
  int status = 0;
  json body;
  double ms = 0;
};

PollAnswer Poll(int port, const std::string& token, const json& request) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(40, 0);
  httplib::Headers headers;
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
  const auto started = Clock::now();
  const auto result = client.Post("/changes", headers, request.dump(), "application/json");
  PollAnswer answer;
  answer.ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  if (!result) return answer;
  answer.status = result->status;
  answer.body = json::parse(result->body, nullptr, false);
  return answer;
}

// Where a subscription from now on starts.
Heard CursorNow(int port, const std::string& token) {
  const PollAnswer now = Poll(port, token, {{"subscriptions", {Subscription(std::nullopt)}}});
  EXPECT_EQ(now.status, 200) << now.body.dump();
  return {now.body["cursors"][0].get<std::int64_t>(), now.body["recent"][0]};
}
// Where a subscriber stands after an answer.
Heard After(const Heard& before, const PollAnswer& answer) {
  Heard heard{answer.body["cursors"][0].get<std::int64_t>(), before.seen};
  for (const json& change : answer.body["changes"]) heard.seen.push_back(change["id"]);
  return heard;
}

// A clerk's save over its own session (a second connection: another session).
void Save(int port, int from) {
  clib::TNetConnection net;
  fakes::SignInToLoopback(net, port, 5, 30);
  const clib::ServerAnswer answer = net.Call("SetForneMao", {Owned().Save(from)});
  ASSERT_TRUE(answer.ok) << answer.error_text;
}

std::vector<std::string> SqliteArgs(const TempDir& data) {
  return {"--port", "0", "--data", data.path().string(), "--seed-demo", "--password-iterations", "1000",
          "--log-level", "warn"};
}

TEST(ChangeFeed, AWaitIsWokenOnceByAChangeToItsKeysOrByAResync) {
  ChangeFeed feed;
  const ChangeKey mine{"0001", "0000000012", "01"}, other{"0001", "0000000012", "02"};
  int woken = 0;
  const std::uint64_t ticket = feed.Wait({mine}, [&] { ++woken; });
  feed.Changed({other});
  EXPECT_EQ(woken, 0);
  feed.Changed({mine, mine});
  feed.Changed({mine});
  EXPECT_EQ(woken, 1);
  EXPECT_FALSE(feed.Cancel(ticket)) << "a woken wait is gone";
  const std::uint64_t cancelled = feed.Wait({mine}, [&] { ++woken; });
  EXPECT_TRUE(feed.Cancel(cancelled));
  feed.Changed({mine});
  EXPECT_EQ(woken, 1);
  feed.Wait({other}, [&] { ++woken; });
  feed.Resync();
  EXPECT_EQ(woken, 2);
  EXPECT_EQ(feed.Waiting(), 0U);
}

TEST(ChangePoll, AnotherSessionsSaveWakesAWaitingPollAndTheClerksOwnDoesNot) {
  TempDir data;
  ServerProcess server;
  ASSERT_TRUE(server.Start(SqliteArgs(data))) << server.Output();
  const std::string watcher = SignIn(server.Port(), "demo");
  const Heard cursor = CursorNow(server.Port(), watcher);

  auto waiting = std::async(std::launch::async, [&] {
    return Poll(server.Port(), watcher, {{"subscriptions", {Subscription(cursor)}}});
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // parked on the feed
  const auto saved_at = Clock::now();
  Save(server.Port(), 0);
  const PollAnswer heard = waiting.get();
  const double after_save_ms = std::chrono::duration<double, std::milli>(Clock::now() - saved_at).count();
  ASSERT_EQ(heard.status, 200) << heard.body.dump();
  EXPECT_LT(after_save_ms, 1000.0);
  ASSERT_EQ(heard.body["changes"].size(), 1U) << heard.body.dump();
  const json& change = heard.body["changes"][0];
  EXPECT_EQ(change["operator"], "demo");
  EXPECT_EQ(change["action"], "ALTERACAO");
  EXPECT_EQ(change["product"], Owned().product);
  EXPECT_EQ(change["shift"], Owned().shift);
  EXPECT_GT(heard.body["cursors"][0].get<std::int64_t>(), cursor.after);

  // The saver's own session subscribed from before its save: it hears nothing of it,
  // and its cursor moves past it.
  clib::TNetConnection saver;
  fakes::SignInToLoopback(saver, server.Port(), 5, 30);
  ASSERT_TRUE(saver.Call("GetSequencial", {Owned().number, Owned().sequence}).ok);
  const std::string own = saver.Token();
  const Heard own_cursor = CursorNow(server.Port(), own);
  ASSERT_TRUE(saver.Call("SetForneMao", {Owned().Save(1)}).ok);
  const PollAnswer echo = Poll(server.Port(), own, {{"subscriptions", {Subscription(own_cursor)}}, {"wait", 1}});
  ASSERT_EQ(echo.status, 200);
  EXPECT_TRUE(echo.body["changes"].empty()) << echo.body.dump();
  EXPECT_GT(echo.body["cursors"][0].get<std::int64_t>(), own_cursor.after);
  EXPECT_GT(echo.ms, 900.0) << "with nothing to hear it waits";

  // The watcher, polling again from where it was, hears the second save and not the first again.
  const PollAnswer next = Poll(server.Port(), watcher, {{"subscriptions", {Subscription(After(cursor, heard))}}});
  ASSERT_EQ(next.body["changes"].size(), 1U) << next.body.dump();
  EXPECT_GT(next.body["changes"][0]["id"].get<std::int64_t>(), change["id"].get<std::int64_t>());
}

TEST(ChangePoll, AStopEndsAWaitingPollAtOnce) {
  TempDir data;
  ServerProcess server;
  ASSERT_TRUE(server.Start(SqliteArgs(data))) << server.Output();
  const std::string token = SignIn(server.Port(), "demo");
  const Heard cursor = CursorNow(server.Port(), token);
  auto waiting =
      std::async(std::launch::async, [&] { return Poll(server.Port(), token, {{"subscriptions", {Subscription(cursor)}}}); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(server.Stop(), 0) << server.Output();
  const PollAnswer ended = waiting.get();
  EXPECT_EQ(ended.status, 200);
  EXPECT_LT(ended.ms, 3000.0);
}

TEST(ChangePoll, BadPollsAreRefusedWithTheirReason) {
  TempDir data;
  ServerProcess server;
  ASSERT_TRUE(server.Start(SqliteArgs(data))) << server.Output();
  const std::string demo = SignIn(server.Port(), "demo");
  const std::string ana = SignIn(server.Port(), "ana");  // branch 0002 only
  struct Case {
    const char* name;
    std::string token;
    json request;
    int status;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"no token", "", {{"subscriptions", {Subscription(Heard{})}}}, 401, "not signed in"},
      {"forged token", std::string(64, 'a'), {{"subscriptions", {Subscription(Heard{})}}}, 401, "not signed in"},
      {"not an object", demo, json::array(), 400, "JSON object"},
      {"no subscription", demo, {{"subscriptions", json::array()}}, 400, "1 to 16"},
      {"no sequence", demo, {{"subscriptions", {{{"branch", "0001"}, {"number", "1"}}}}}, 400, "\"sequence\""},
      {"negative cursor", demo, {{"subscriptions", {Subscription(Heard{-1})}}}, 400, "\"after\""},
      {"wait too long", demo, {{"subscriptions", {Subscription(Heard{})}}, {"wait", 60}}, 400, "0 to 25"},
      {"another branch", ana, {{"subscriptions", {Subscription(Heard{})}}}, 403, "Filial \"0001\" não permitida"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PollAnswer answer = Poll(server.Port(), c.token, c.request);
    EXPECT_EQ(answer.status, c.status) << answer.body.dump();
    EXPECT_THAT(answer.body["error"].value("message", ""), HasSubstr(c.says));
  }
  // Ana's own budget hears nothing of branch 0001's saves.
  const json hers = {{"branch", "0002"}, {"number", "0000000026"}, {"sequence", "01"}, {"after", 0}};
  auto waiting = std::async(std::launch::async, [&] {
    return Poll(server.Port(), ana, {{"subscriptions", {hers}}, {"wait", 2}});
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Save(server.Port(), 0);
  const PollAnswer quiet = waiting.get();
  EXPECT_TRUE(quiet.body["changes"].empty()) << quiet.body.dump();
  EXPECT_GT(quiet.ms, 1900.0);
}

// Two servers on one PostgreSQL database: a save through one wakes a poll on the other,
// and a poll of a server that was down while the save went through the other catches up.
TEST(ChangePollPostgres, ServersOnOneDatabaseHearEachOtherAndARestartedOneCatchesUp) {
  const char* conninfo = std::getenv("ALLOC_TEST_PG");
  if (conninfo == nullptr || *conninfo == '\0') GTEST_SKIP() << "PostgreSQL not tested: ALLOC_TEST_PG is empty";
  const std::string schema = "alloc_changes_" + std::to_string(::getpid());
  const auto drop = [&] { OpenPostgres(conninfo, "")->ExecuteScript("DROP SCHEMA IF EXISTS " + schema + " CASCADE"); };
  drop();
  const std::vector<std::string> args = {"--port", "0", "--database", conninfo, "--pg-schema", schema, "--seed-demo",
                                         "--password-iterations", "1000", "--log-level", "warn"};
  ServerProcess first, second;
  ASSERT_TRUE(first.Start(args)) << first.Output();
  ASSERT_TRUE(second.Start(args)) << second.Output();
  const std::string watcher = SignIn(first.Port(), "demo");
  const Heard cursor = CursorNow(first.Port(), watcher);

  auto waiting = std::async(std::launch::async, [&] {
    return Poll(first.Port(), watcher, {{"subscriptions", {Subscription(cursor)}}});
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto saved_at = Clock::now();
  Save(second.Port(), 0);
  const PollAnswer heard = waiting.get();
  const double after_save_ms = std::chrono::duration<double, std::milli>(Clock::now() - saved_at).count();
  EXPECT_LT(after_save_ms, 1000.0);
  ASSERT_EQ(heard.body["changes"].size(), 1U) << heard.body.dump() << first.Output();
  const Heard moved = After(cursor, heard);

  ASSERT_EQ(first.Stop(), 0);
  Save(second.Port(), 1);  // while the first server is down
  ServerProcess restarted;
  ASSERT_TRUE(restarted.Start(args)) << restarted.Output();
  // The session outlives the server (it is in the database): the same token goes on.
  const PollAnswer caught_up = Poll(restarted.Port(), watcher, {{"subscriptions", {Subscription(moved)}}});
  ASSERT_EQ(caught_up.status, 200) << caught_up.body.dump();
  ASSERT_EQ(caught_up.body["changes"].size(), 1U) << caught_up.body.dump();
  EXPECT_GT(caught_up.body["changes"][0]["id"].get<std::int64_t>(), moved.after);
  EXPECT_LT(caught_up.ms, 1000.0) << "what it missed is answered at once";
  EXPECT_EQ(restarted.Stop(), 0);
  EXPECT_EQ(second.Stop(), 0);
  drop();
}

}  // namespace
}  // namespace srv
