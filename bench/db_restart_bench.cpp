// How long saves stop succeeding when PostgreSQL restarts under four saving clerks, and
// how many of their calls are refused meanwhile. A cluster of its own (initdb into a
// temporary folder), restarted ROUNDS times (default 6), fast and immediate in turn:
//   db_restart_bench [ROUNDS]
// Per restart: the outage, from the restart's start to the first save that succeeds
// after the database accepts connections again (pg_ctl -w returned), and the calls
// refused in that time; then the medians of each mode. Not a test: it asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/rounds_argument.h"
#include "server/rpc/pg_cluster_for_tests.h"
#include "server/rpc/saving_clerks_for_tests.h"

namespace {

using srv::fakes::Clock;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Refusals of any clerk in [from, to).
int RefusedBetween(const std::vector<srv::fakes::ClerkRecord>& records, Clock::time_point from, Clock::time_point to) {
  int refused = 0;
  for (const auto& record : records) {
    for (const auto& answer : record.answers) refused += !answer.ok && answer.at >= from && answer.at < to;
  }
  return refused;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = bench_support::RoundsArgument(argc, argv, 6,
      "usage: db_restart_bench [ROUNDS]\n"
      "Restarts a PostgreSQL cluster of its own ROUNDS times (default 6), fast and immediate\n"
      "in turn, under four saving clerks, and prints how long the saves stopped and how many\n"
      "calls were refused around each restart.\n");
  srv::fakes::ThrowAwayCluster cluster;
  if (!cluster.Start()) {
    std::fprintf(stderr, "db_restart_bench: no cluster: %s\n", cluster.why().c_str());
    return 1;
  }
  srv::fakes::ServerProcess server;
  if (!server.Start({"--port", "0", "--database", cluster.conninfo(), "--pg-schema", "bench_restart", "--seed-demo",
                     "--password-iterations", "1000", "--db-timeout", "3", "--log-level", "off"})) {
    std::fprintf(stderr, "db_restart_bench: the server did not start:\n%s\n", server.Output().c_str());
    return 1;
  }
  srv::fakes::SavingClerks clerks(server.Port(), 4);
  std::vector<double> outage_ms[2], refused[2];
  for (int round = 0; round < rounds; ++round) {
    const int mode = round % 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto began = Clock::now();
    if (!cluster.Restart(mode == 0 ? "fast" : "immediate")) {
      std::fprintf(stderr, "db_restart_bench: pg_ctl restart failed\n");
      return 1;
    }
    const auto accepting = Clock::now();
    const auto deadline = accepting + std::chrono::seconds(30);
    std::optional<Clock::time_point> recovered;
    while (!(recovered = clerks.FirstSuccessAfter(accepting)) && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!recovered) {
      std::fprintf(stderr, "db_restart_bench: no save succeeded within 30 s of a restart\n");
      return 1;
    }
    const double ms = std::chrono::duration<double, std::milli>(*recovered - began).count();
    const double restart_ms = std::chrono::duration<double, std::milli>(accepting - began).count();
    const int refusals = RefusedBetween(clerks.Records(), began, *recovered);
    std::printf("restart %d (-m %s): pg_ctl %.0f ms, saves stopped for %.0f ms, %d call(s) refused\n", round + 1,
                mode == 0 ? "fast" : "immediate", restart_ms, ms, refusals);
    outage_ms[mode].push_back(ms);
    refused[mode].push_back(refusals);
  }
  clerks.Finish();
  int acked = 0, unexpected = 0;
  for (const auto& record : clerks.Records()) {
    acked += record.acked;
    unexpected += static_cast<int>(record.unexpected.size());
  }
  for (int mode = 0; mode < 2; ++mode) {
    if (outage_ms[mode].empty()) continue;
    std::printf("median over %zu restarts -m %s: saves stopped for %.0f ms, %.0f call(s) refused\n",
                outage_ms[mode].size(), mode == 0 ? "fast" : "immediate", Median(outage_ms[mode]),
                Median(refused[mode]));
  }
  std::printf("%d saves acknowledged, %d answers neither a success nor a database text\n", acked, unexpected);
  server.Stop();
  return 0;
}
