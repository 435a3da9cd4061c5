#include "server/core/change_notices.h"

#include <poll.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <vector>

#include <spdlog/spdlog.h>

#include "server/core/postgres_connect.h"

namespace srv {
namespace {

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;
constexpr int kPollMs = 200;  // how soon a stop is seen
constexpr auto kRetryPause = std::chrono::seconds(1);

bool Succeeds(PGconn* conn, const std::string& sql) {
  std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn, sql.c_str()), &PQclear);
  const ExecStatusType status = PQresultStatus(result.get());
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

std::string CurrentSchema(PGconn* conn) {
  std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn, "SELECT COALESCE(current_schema(), '')"),
                                                       &PQclear);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1) return {};
  return PQgetvalue(result.get(), 0, 0);
}

}  // namespace

ChangeNotices::ChangeNotices(std::string conninfo, std::string schema, int timeout_seconds, ChangeFeed& feed)
    : conninfo_(std::move(conninfo)),
      schema_(std::move(schema)),
      timeout_seconds_(timeout_seconds),
      feed_(feed),
      thread_([this] { Run(); }) {}

ChangeNotices::~ChangeNotices() {
  stop_ = true;
  thread_.join();
}

void ChangeNotices::Run() {
  while (!stop_) {
    ListenOnce();
    for (auto waited = std::chrono::milliseconds(0); !stop_ && waited < kRetryPause;
         waited += std::chrono::milliseconds(kPollMs)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
  }
}

// Drives a started connection to its end, giving up when the listener stops, so that a
// server's stop never waits for a database that does not answer.
bool ChangeNotices::Connected(PGconn* conn) const {
  if (conn == nullptr || PQstatus(conn) == CONNECTION_BAD) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds_);
  PostgresPollingStatusType step = PGRES_POLLING_WRITING;
  while (step != PGRES_POLLING_OK) {
    if (step == PGRES_POLLING_FAILED || stop_ || std::chrono::steady_clock::now() > deadline) return false;
    pollfd fd{PQsocket(conn), static_cast<short>(step == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    const int ready = ::poll(&fd, 1, kPollMs);
    if (ready > 0) step = PQconnectPoll(conn);
  }
  return true;
}

void ChangeNotices::ListenOnce() {
  Connection conn(StartPostgresConnection(conninfo_, timeout_seconds_), &PQfinish);
  if (!Connected(conn.get())) {
    if (!stop_) spdlog::warn("change notices: cannot connect to the database: {}", PQerrorMessage(conn.get()));
    return;
  }
  if (!schema_.empty() && !Succeeds(conn.get(), "SET search_path TO " + schema_)) return;
  const std::string schema = CurrentSchema(conn.get());
  if (!Succeeds(conn.get(), std::string("LISTEN ") + kChangesChannel)) {
    spdlog::warn("change notices: LISTEN failed: {}", PQerrorMessage(conn.get()));
    return;
  }
  // What committed while nobody listened is in the history: the waiters read it.
  feed_.Resync();
  spdlog::debug("change notices: listening");
  while (!stop_) {
    pollfd fd{PQsocket(conn.get()), POLLIN, 0};
    if (::poll(&fd, 1, kPollMs) < 0) continue;  // interrupted
    if (fd.revents == 0) continue;
    if (PQconsumeInput(conn.get()) == 0) {
      spdlog::warn("change notices: the connection broke ({}); reconnecting", PQerrorMessage(conn.get()));
      return;
    }
    std::vector<ChangeKey> keys;
    while (PGnotify* notice = PQnotifies(conn.get())) {
      std::istringstream payload(notice->extra);
      std::string from;
      ChangeKey key;
      // "schema branch number sequence"; a default schema's notice has an empty first word.
      if (!schema.empty()) payload >> from;
      if (payload >> key.branch >> key.number >> key.sequence && from == schema) keys.push_back(std::move(key));
      PQfreemem(notice);
    }
    if (!keys.empty()) feed_.Changed(keys);
  }
}

}  // namespace srv
