// The server on a PostgreSQL cluster of the test's own while the cluster goes through
// what an operator's database does: restarts (fast and immediate) under saving clerks,
// and a hang (every process of the cluster stopped). Every call is answered in time with
// a clerk's text, saves succeed again after each fault without restarting the server,
// every acknowledged save is kept, and SIGTERM stops the server within its bound.
#include <signal.h>

#include <chrono>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include "server/core/database.h"
#include "server/rpc/pg_cluster_for_tests.h"
#include "server/rpc/saving_clerks_for_tests.h"

namespace srv {
namespace {

using fakes::Clock;
using fakes::ServerProcess;
using fakes::ThrowAwayCluster;
using ::testing::HasSubstr;

constexpr int kDbTimeoutSeconds = 3;
// A call waits for at most two answers of the database that do not come (its token's
// check, then its method's first statement), each bounded by the timeout plus 2 s.
constexpr double kCallBoundMs = 2 * (kDbTimeoutSeconds + 2) * 1000.0 + 2000;
constexpr int kStopTimeoutSeconds = 4;

class DbOutage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    cluster_ = new ThrowAwayCluster;
    if (!cluster_->Start()) why_ = cluster_->why();
  }
  static void TearDownTestSuite() {
    delete cluster_;
    cluster_ = nullptr;
  }
  void SetUp() override {
    if (!why_.empty()) GTEST_SKIP() << "no cluster of the test's own: " << why_;
  }

  static std::vector<std::string> ServerArgs(const std::string& schema, int db_timeout = kDbTimeoutSeconds,
                                             int stop_timeout = kStopTimeoutSeconds) {
    return {"--port",
            "0",
            "--database",
            cluster_->conninfo(),
            "--pg-schema",
            schema,
            "--seed-demo",
            "--password-iterations",
            "1000",
            "--db-timeout",
            std::to_string(db_timeout),
            "--stop-timeout",
            std::to_string(stop_timeout),
            "--log-level",
            "warn"};
  }
  // SIGTERM, then how long the server took to end (it is killed after 20 s).
  static double StopMs(ServerProcess& server, int& code) {
    const auto started = Clock::now();
    ::kill(server.Pid(), SIGTERM);
    code = server.Wait(std::chrono::seconds(20));
    return std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  }
  static int Health(int port) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(30, 0);
    const auto result = client.Get("/health");
    return result ? result->status : 0;
  }

  static inline ThrowAwayCluster* cluster_ = nullptr;
  static inline std::string why_;
};

TEST_F(DbOutage, RestartsUnderSavingClerksLoseNoAcknowledgedSaveAndTheServerRecovers) {
  ServerProcess server;
  ASSERT_TRUE(server.Start(ServerArgs("restarts"))) << server.Output();
  fakes::SavingClerks clerks(server.Port(), 4);
  for (const char* mode : {"fast", "immediate", "fast", "immediate"}) {
    SCOPED_TRACE(std::string("restart -m ") + mode);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto restarted = Clock::now();
    ASSERT_TRUE(cluster_->Restart(mode));
    // Saves succeed again without the server being restarted.
    auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!clerks.FirstSuccessAfter(restarted) && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(clerks.FirstSuccessAfter(restarted)) << "no save succeeded within 20 s of the restart";
  }
  clerks.Finish();

  const auto stored = OpenPostgres(cluster_->conninfo(), "restarts");
  const std::vector<fakes::ClerkRecord> records = clerks.Records();
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE("clerk " + std::to_string(i));
    EXPECT_THAT(records[i].unexpected, ::testing::IsEmpty());
    EXPECT_LT(records[i].longest_call_ms, kCallBoundMs);
    ASSERT_TRUE(!records[i].answers.empty() && records[i].answers.back().ok) << "its last save did not go through";
    EXPECT_GT(records[i].acked, 4);
    EXPECT_EQ(testing::DemoOwnedAllocations()[i].StoredStep(*stored), records[i].acked);
  }
  int code = -1;
  EXPECT_LT(StopMs(server, code), (kStopTimeoutSeconds + 2) * 1000.0);
  EXPECT_EQ(code, 0) << server.Output();
}

TEST_F(DbOutage, AHungDatabaseGetsAnswersInTimeAndTheServerRecoversWhenItResumes) {
  ServerProcess server;
  ASSERT_TRUE(server.Start(ServerArgs("hang"))) << server.Output();
  // A second server waits far longer for the database, and must still stop on SIGTERM.
  ServerProcess patient;
  ASSERT_TRUE(patient.Start(ServerArgs("hang", 60, 1))) << patient.Output();
  clib::TNetConnection net, patient_net;
  fakes::SignInToLoopback(net, server.Port(), 5, 90);
  fakes::SignInToLoopback(patient_net, patient.Port(), 5, 90);
  const testing::OwnedAllocation& owned = testing::DemoOwnedAllocations().front();
  const clib::ServerAnswer first = net.Call("SetForneMao", {owned.Save(0)});
  ASSERT_TRUE(first.ok) << first.error_code << " " << first.error_text << "\n" << server.Output();
  ASSERT_TRUE(patient_net.Call("GetSequencial", {"0001", "0000000012"}).ok);
  EXPECT_EQ(Health(server.Port()), 200);

  cluster_->Pause();
  std::thread cut_off([&] { patient_net.Call("SetForneMao", {owned.Save(1)}); });
  const auto asked = Clock::now();
  const clib::ServerAnswer answer = net.Call("SetForneMao", {owned.Save(1)});
  const double answer_ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.error_text, texts::kDatabaseUnreachable);
  EXPECT_LT(answer_ms, kCallBoundMs);
  const auto checked = Clock::now();
  EXPECT_EQ(Health(server.Port()), 503);
  const double health_ms = std::chrono::duration<double, std::milli>(Clock::now() - checked).count();
  EXPECT_LT(health_ms, kCallBoundMs);

  int code = -1;
  EXPECT_LT(StopMs(patient, code), 1000.0 * (1 + 2));
  EXPECT_EQ(code, 7);
  EXPECT_THAT(patient.Output(), HasSubstr("1 call(s) cut off: EVT04700.rdmAloc.SetForneMao from 127.0.0.1"));
  cut_off.join();

  cluster_->Resume();
  bool saved = false;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (!saved && Clock::now() < deadline) {
    saved = net.Call("SetForneMao", {owned.Save(1)}).ok;
    if (!saved) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_TRUE(saved) << "no save within 20 s of the database resuming";
  EXPECT_EQ(Health(server.Port()), 200);
  EXPECT_EQ(owned.StoredStep(*OpenPostgres(cluster_->conninfo(), "hang")), 2);
  EXPECT_EQ(server.Stop(), 0);
}

// The change notices' connection breaks, and its new one finds the database hung: the
// server still stops at once on SIGTERM (no call is running), not after the database's
// connect timeout.
TEST_F(DbOutage, AStopDoesNotWaitForTheChangeNoticesToReconnect) {
  ServerProcess server;
  ASSERT_TRUE(server.Start(ServerArgs("notices", 30))) << server.Output();
  const auto admin = OpenPostgres(cluster_->conninfo(), "");
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  std::int64_t ended = 0;
  while (ended == 0 && Clock::now() < deadline) {  // the listener connects in the background
    ended = admin->Query("SELECT COUNT(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE query LIKE 'LISTEN%'")
                .Int(0, 0);
    if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_EQ(ended, 1) << "no listening connection found";
  cluster_->Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // it is reconnecting now
  int code = -1;
  const double stop_ms = StopMs(server, code);
  cluster_->Resume();
  EXPECT_LT(stop_ms, 3000.0);
  EXPECT_EQ(code, 0) << server.Output();
}

}  // namespace
}  // namespace srv
