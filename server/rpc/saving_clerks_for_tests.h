// Clerks saving over HTTP in a loop while the database goes through faults (header only;
// never part of the server): each moves the amount of its own demo allocation one step
// a save (testing::OwnedAllocation) and records every answer, so that a test can check
// that every call was answered in time with a clerk's text, and a benchmark can tell how
// long the saves stopped succeeding.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clientlib/net/net_connection.h"
#include "server/core/methods.h"
#include "server/core/service_fixture.h"
#include "server/rpc/server_process_for_tests.h"

namespace srv::fakes {

using Clock = std::chrono::steady_clock;

struct ClerkAnswer {
  Clock::time_point at;  // when it came
  bool ok = false;
};

// One clerk's record.
struct ClerkRecord {
  int acked = 0;  // acknowledged saves: the step its allocation must hold
  double longest_call_ms = 0;
  std::vector<ClerkAnswer> answers;
  std::vector<std::string> unexpected;  // answers that are neither a success nor a database text
};

// Points `net` at the server on a loopback port and signs in as the demo operator.
inline void SignInToLoopback(clib::TNetConnection& net, int port, int connect_seconds, int io_seconds) {
  net.BeforeConnect = [port](clib::TNetConnection& c) {
    c.SetHost("127.0.0.1");
    c.SetPort(port);
  };
  net.SetCredentials("demo", "demo");
  net.SetTimeouts(connect_seconds, io_seconds);
}

// Whether a refusal is one the database's faults may cause.
inline bool IsDatabaseText(const std::string& text) {
  return text == texts::kDatabaseError || text == texts::kDatabaseUnreachable || text == texts::kOutcomeUnknown ||
         text == texts::kDatabaseBusy;
}

class SavingClerks {
 public:
  SavingClerks(int port, std::size_t clerks) : port_(port), records_(clerks) {
    for (std::size_t i = 0; i < clerks; ++i) threads_.emplace_back([this, i] { Save(i); });
  }
  ~SavingClerks() { Finish(); }
  SavingClerks(const SavingClerks&) = delete;
  SavingClerks& operator=(const SavingClerks&) = delete;

  // Stops the loops; each clerk then saves until one save succeeds (at most 20 tries, a
  // second apart), so that its allocation holds a known step.
  void Finish() {
    stop_ = true;
    for (auto& thread : threads_) thread.join();
    threads_.clear();
  }
  // Records so far (copies: the clerks are still running).
  std::vector<ClerkRecord> Records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }
  // The first success of any clerk after `since`, if one came.
  std::optional<Clock::time_point> FirstSuccessAfter(Clock::time_point since) const {
    std::lock_guard lock(mutex_);
    std::optional<Clock::time_point> first;
    for (const ClerkRecord& record : records_) {
      for (const ClerkAnswer& answer : record.answers) {
        if (answer.ok && answer.at > since && (!first || answer.at < *first)) first = answer.at;
      }
    }
    return first;
  }

 private:
  void Save(std::size_t i) {
    const testing::OwnedAllocation& owned = testing::DemoOwnedAllocations().at(i);
    clib::TNetConnection net;
    SignInToLoopback(net, port_, 5, 30);
    int settling_tries = 0;
    for (;;) {
      int from = 0;
      {
        std::lock_guard lock(mutex_);
        from = records_[i].acked;
      }
      const auto started = Clock::now();
      const clib::ServerAnswer answer = net.Call("SetForneMao", {owned.Save(from)});
      const auto ended = Clock::now();
      Record(records_[i], answer, started, ended);
      if (stop_ && (answer.ok || ++settling_tries >= 20)) return;
      if (stop_) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  }

  void Record(ClerkRecord& record, const clib::ServerAnswer& answer, Clock::time_point started,
              Clock::time_point ended) {
    std::lock_guard lock(mutex_);
    record.longest_call_ms =
        std::max(record.longest_call_ms, std::chrono::duration<double, std::milli>(ended - started).count());
    record.answers.push_back({ended, answer.ok});
    if (answer.ok) ++record.acked;
    // A save refused may have landed (outcome unknown): it is sent again, and
    // recognised as applied if it did.
    if (!answer.ok && !(answer.error_code != 0 && IsDatabaseText(answer.error_text))) {
      record.unexpected.push_back(std::to_string(answer.error_code) + " " + answer.error_text);
    }
  }

  const int port_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<ClerkRecord> records_;
  std::vector<std::thread> threads_;
};

}  // namespace srv::fakes
