// PostgreSQL connections terminated (pg_terminate_backend) before each step of a save:
// the call ends in time with a clerk's text or, retried on a new connection, succeeds;
// the save is applied whole or not at all, as its answer says; the budget's turn and the
// pool are left ready for the next save.
#include <atomic>
#include <chrono>
#include <future>
#include <memory>

#include <gtest/gtest.h>

#include "server/core/alloc_service.h"
#include "server/core/methods.h"
#include "server/core/service_fixture.h"

namespace srv {
namespace {

using testing::Backend;

// A connection whose backend is terminated, from another connection, just before the
// statement that brings the shared countdown to zero.
class TerminatedAtStep final : public Database {
 public:
  TerminatedAtStep(std::unique_ptr<Database> inner, std::function<std::unique_ptr<Database>()> open,
                   std::atomic<int>& countdown)
      : inner_(std::move(inner)), open_(std::move(open)), countdown_(countdown) {
    pid_ = inner_->Query("SELECT pg_backend_pid()").Int(0, 0);
  }

  Backend backend() const override { return inner_->backend(); }
  ResultSet Query(const std::string& sql, const std::vector<SqlValue>& params) override {
    Step();
    return inner_->Query(sql, params);
  }
  std::int64_t Execute(const std::string& sql, const std::vector<SqlValue>& params) override {
    Step();
    return inner_->Execute(sql, params);
  }
  void ExecuteScript(const std::string& sql) override {
    Step();
    inner_->ExecuteScript(sql);
  }
  std::vector<ResultSet> QueryEach(const std::vector<Statement>& statements) override {
    Step();
    return inner_->QueryEach(statements);
  }
  void Begin(bool write) override { inner_->Begin(write); }
  void Commit() override {
    Step();
    inner_->Commit();
  }
  void Rollback() override { inner_->Rollback(); }
  const char* ForUpdate() const override { return inner_->ForUpdate(); }
  void LockForMigration() override { inner_->LockForMigration(); }
  bool Healthy() const override { return inner_->Healthy(); }

 private:
  void Step() {
    if (countdown_.fetch_sub(1) != 1) return;
    auto killer = open_();
    killer->Query("SELECT pg_terminate_backend(?)", {pid_});
    // Gone for sure before the statement is sent.
    for (int i = 0; i < 500 && killer->Query("SELECT 1 FROM pg_stat_activity WHERE pid = ?", {pid_}).size(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  std::unique_ptr<Database> inner_;
  std::function<std::unique_ptr<Database>()> open_;
  std::atomic<int>& countdown_;
  std::int64_t pid_ = 0;
};

class ConnectionLoss : public testing::ServiceTest {};

TEST_P(ConnectionLoss, ASaveWhoseBackendIsTerminatedAtAnyStepEndsAndTellsTheTruth) {
  const auto open = [config = config_] { return OpenDatabase(config); };
  std::atomic<int> countdown{0};
  DbAllocService service(config_, [&] { return std::make_unique<TerminatedAtStep>(open(), open, countdown); });
  const testing::OwnedAllocation& owned = testing::DemoOwnedAllocations().front();
  auto save = [&](int from) {
    return std::async(std::launch::async, [&, from]() -> std::string {
      std::vector<rt::Variant> params{owned.Save(from)};
      try {
        service.Call(session_, "SetForneMao", params);
      } catch (const ServiceError& e) {
        return e.what();
      }
      return "";
    });
  };
  const auto stored = [&] { return owned.StoredStep(*open()); };

  // How many statements one save takes, counted on a save left alone.
  countdown = 1 << 20;
  ASSERT_EQ(save(0).get(), "");
  const int steps = (1 << 20) - countdown;
  ASSERT_GE(steps, 2);
  int step = 1;
  int retried = 0, unknown = 0;
  for (int k = 1; k <= steps; ++k) {
    SCOPED_TRACE("backend terminated before statement " + std::to_string(k) + " of " + std::to_string(steps));
    countdown = k;
    auto answer = save(step);
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(30)), std::future_status::ready) << "the save never ended";
    const std::string text = answer.get();
    const int now = stored();
    if (text.empty()) {
      ++retried;
      EXPECT_EQ(now, step + 1);
    } else if (text == texts::kOutcomeUnknown) {
      ++unknown;
      EXPECT_TRUE(now == step || now == step + 1) << now;
    } else {
      EXPECT_EQ(text, texts::kDatabaseError);
      EXPECT_EQ(now, step);
    }
    ASSERT_GE(now, step);
    step = now;
    // The next save of the budget gets its turn and a working connection; sent as the
    // one before, it is recognised as applied when that one landed.
    countdown = 0;
    auto next = save(step);
    ASSERT_EQ(next.wait_for(std::chrono::seconds(30)), std::future_status::ready) << "the next save never ended";
    EXPECT_EQ(next.get(), "");
    EXPECT_EQ(stored(), ++step);
  }
  // A loss before the COMMIT is run again; one during the COMMIT may have landed.
  EXPECT_GT(retried, 0);
  EXPECT_LE(unknown, 1);
}

INSTANTIATE_TEST_SUITE_P(Postgres, ConnectionLoss, ::testing::Values(Backend::Postgres), testing::BackendName);

}  // namespace
}  // namespace srv
