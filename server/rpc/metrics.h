// What GET /metrics tells an operator, in Prometheus' text exposition format
// (docs/server-program.md): calls by method and outcome, their latency, refused
// sign-ins, open connections and database connections in use.
//
// Counting a call costs a lookup of its method's slot (a table made once) and three
// relaxed atomic additions; no lock is taken on the call path.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace srv {

class CallMetrics {
 public:
  // How a call ended, by its JSON-RPC answer.
  enum class Outcome { Ok, Refused, NotSignedIn, Invalid, InternalError };
  static constexpr std::size_t kOutcomes = 5;
  // Upper bounds of the latency buckets, in seconds (then +Inf).
  static constexpr std::array<double, 16> kBuckets = {0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025,
                                                      0.05,   0.1,     0.25,   0.5,   1,      2.5,   5,     10};

  // `methods`: the names calls are counted under; any other name counts as "other",
  // so that a client cannot grow the list.
  explicit CallMetrics(const std::vector<std::string>& methods);

  // The slot of a method's name, to count its calls under.
  std::size_t SlotOf(std::string_view method) const;
  void CountCall(std::size_t slot, Outcome outcome, std::chrono::nanoseconds took);
  // A sign-in refused: a wrong operator or password, or one refused unchecked while locked.
  void CountRefusedSignIn(bool locked);
  static Outcome OutcomeOfErrorCode(int code);

  // What the server knows besides the calls, read when the metrics are asked for.
  struct Gauges {
    std::int64_t open_connections = 0;
    std::int64_t database_connections_in_use = 0;
    std::int64_t database_connections_idle = 0;
  };
  // The whole exposition text.
  std::string Exposition(const Gauges& gauges) const;

 private:
  // One method's counters, on cache lines of their own so that calls of different
  // methods on different cores do not share them.
  struct alignas(64) MethodCounters {
    std::array<std::atomic<std::uint64_t>, kOutcomes> outcomes{};
    std::array<std::atomic<std::uint64_t>, kBuckets.size() + 1> buckets{};  // the last one: above every bound
    std::atomic<std::uint64_t> nanoseconds{0};
  };

  std::vector<std::string> names_;  // by slot; the last is "other"
  std::unordered_map<std::string_view, std::size_t> slots_;
  std::unique_ptr<MethodCounters[]> counters_;
  std::atomic<std::uint64_t> refused_sign_ins_{0};
  std::atomic<std::uint64_t> locked_sign_ins_{0};
};

// Whether an address (as the server reports a peer) is the machine's own loopback.
bool IsLoopbackAddress(std::string_view address);

// The Content-Type of the exposition.
inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace srv
