// The change feed's bounds, against a real server process (SQLite, demo data) over
// loopback:
//   change_feed_bench [ROUNDS]
// - Idle subscribers: 1,000 long polls parked at once (from four loopback addresses, as
//   the server allows 256 connections per address); the server's threads and resident
//   memory before and while they wait: what one idle subscriber costs.
// - Reach: 100 parked subscribers, then one save through another session; per round
//   (default 20), the time from the save's sending to each subscriber's answer. Medians
//   and the 99th percentile over every answer of every round, and the save's own time.
// Not a test: it asserts nothing. Ends with a `figures:` line.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "bench/rounds_argument.h"
#include "server/rpc/saving_clerks_for_tests.h"

namespace {

using srv::fakes::Clock;
using json = nlohmann::json;

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(at, values.size() - 1)];
}

// A figure of /proc/PID/status ("VmRSS" in kB, "Threads").
long Status(int pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  }
  return -1;
}

std::string SignIn(int port) {
  httplib::Client client("127.0.0.1", port);
  const json login = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "Auth.Login"}, {"params", {"demo", "demo"}}};
  const auto result = client.Post("/rpc", login.dump(), "application/json");
  return result ? json::parse(result->body)["result"].value("token", "") : "";
}

const srv::testing::OwnedAllocation& Owned() { return srv::testing::DemoOwnedAllocations().front(); }

std::string PollRequest(const std::string& token, std::int64_t after) {
  const json body = {{"subscriptions",
                      {{{"branch", "0001"}, {"number", Owned().number}, {"sequence", Owned().sequence}, {"after", after}}}},
                     {"wait", 25}};
  const std::string text = body.dump();
  return "POST /changes HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token +
         "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(text.size()) + "\r\n\r\n" + text;
}

std::int64_t CursorNow(int port, const std::string& token) {
  httplib::Client client("127.0.0.1", port);
  const json body = {{"subscriptions", {{{"branch", "0001"}, {"number", Owned().number}, {"sequence", Owned().sequence}}}}};
  const auto result = client.Post("/changes", {{"Authorization", "Bearer " + token}}, body.dump(), "application/json");
  return result ? json::parse(result->body)["cursors"][0].get<std::int64_t>() : 0;
}

// A parked poll on a raw socket, from loopback address 127.0.0.`host`.
int OpenPoll(int port, int host, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(0x7f000000u | static_cast<unsigned>(host));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return -1;
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<std::uint16_t>(port));
  remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) return -1;
  if (::send(fd, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) return -1;
  return fd;
}

// Waits for the first bytes of every poll's answer; the time each came, from `from`.
std::vector<double> AnswerTimes(const std::vector<int>& fds, Clock::time_point from, std::chrono::seconds limit) {
  std::vector<pollfd> waiting;
  for (int fd : fds) waiting.push_back({fd, POLLIN, 0});
  std::vector<double> times;
  const auto deadline = Clock::now() + limit;
  while (times.size() < fds.size() && Clock::now() < deadline) {
    if (::poll(waiting.data(), waiting.size(), 100) <= 0) continue;
    const auto now = Clock::now();
    for (pollfd& p : waiting) {
      if (p.fd < 0 || !(p.revents & POLLIN)) continue;
      times.push_back(std::chrono::duration<double, std::milli>(now - from).count());
      p.fd = -p.fd - 1;  // answered: no longer polled
    }
  }
  return times;
}

void CloseAll(std::vector<int>& fds) {
  for (int fd : fds) ::close(fd);
  fds.clear();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = bench_support::RoundsArgument(argc, argv, 20,
      "usage: change_feed_bench [ROUNDS]\n"
      "Parks 1,000 idle long polls on a server of its own (threads and memory they cost),\n"
      "then times one save reaching 100 parked subscribers, ROUNDS times (default 20).\n");
  srv::fakes::TempDir data;
  srv::fakes::ServerProcess server;
  if (!server.Start({"--port", "0", "--data", data.path().string(), "--seed-demo", "--password-iterations", "1000",
                     "--log-level", "off"})) {
    std::fprintf(stderr, "change_feed_bench: the server did not start:\n%s\n", server.Output().c_str());
    return 1;
  }
  const int port = server.Port();
  const std::string token = SignIn(port);
  clib::TNetConnection saver;
  srv::fakes::SignInToLoopback(saver, port, 5, 30);
  int step = 0;
  const auto save = [&] { return saver.Call("SetForneMao", {Owned().Save(step++)}).ok; };
  if (!save()) return 1;  // warm: the session and the statements

  // Idle subscribers.
  const long threads_before = Status(server.Pid(), "Threads");
  const long rss_before = Status(server.Pid(), "VmRSS");
  const std::string idle_request = PollRequest(token, CursorNow(port, token));
  std::vector<int> idle;
  for (int i = 0; i < 1000; ++i) {
    const int fd = OpenPoll(port, 2 + i % 4, idle_request);
    if (fd < 0) break;
    idle.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));  // every poll read and parked
  const long threads_idle = Status(server.Pid(), "Threads");
  const long rss_idle = Status(server.Pid(), "VmRSS");
  const double kb_each = static_cast<double>(rss_idle - rss_before) / static_cast<double>(idle.size());
  std::printf("idle subscribers: %zu parked; server threads %ld -> %ld; resident %ld kB -> %ld kB (%.1f kB each)\n",
              idle.size(), threads_before, threads_idle, rss_before, rss_idle, kb_each);
  CloseAll(idle);
  std::this_thread::sleep_for(std::chrono::seconds(1));

  // Reach of one save.
  std::vector<double> reach, saves;
  for (int round = 0; round < rounds; ++round) {
    const std::string request = PollRequest(token, CursorNow(port, token));
    std::vector<int> fds;
    for (int i = 0; i < 100; ++i) fds.push_back(OpenPoll(port, 2 + i % 4, request));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto sent = Clock::now();
    if (!save()) return 1;
    saves.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    const std::vector<double> times = AnswerTimes(fds, sent, std::chrono::seconds(5));
    if (times.size() != fds.size()) std::printf("round %d: %zu of %zu answered\n", round, times.size(), fds.size());
    reach.insert(reach.end(), times.begin(), times.end());
    CloseAll(fds);
  }
  std::printf("reach of one save to 100 subscribers, %d rounds: median %.2f ms, p99 %.2f ms, last of a round max %.2f ms; "
              "the save itself median %.2f ms\n",
              rounds, Percentile(reach, 0.5), Percentile(reach, 0.99), Percentile(reach, 1.0), Percentile(saves, 0.5));
  std::printf(
      "figures: idle.subscribers=%zu idle.server_threads_added=%ld idle.kb_per_subscriber=%.1f reach100.median_ms=%.2f "
      "reach100.p99_ms=%.2f save.median_ms=%.2f\n",
      idle.size() ? idle.size() : std::size_t{1000}, threads_idle - threads_before, kb_each, Percentile(reach, 0.5),
      Percentile(reach, 0.99), Percentile(saves, 0.5));
  server.Stop();
  return 0;
}
