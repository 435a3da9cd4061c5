// PostgreSQL backend over libpq: statements prepared once per connection by their
// text, parameters sent as text, "?" placeholders renumbered to $n. Several statements
// asked for at once go in one pipeline: one round trip instead of one each.
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <utility>

#include "server/core/database.h"
#include "server/core/postgres_connect.h"

namespace srv {

// Connects with the server's bounds: the connection string's own settings win over these.
// Keepalives let a connection to a host that is gone end while it waits.
namespace {
template <class Open>
PGconn* WithBounds(const std::string& conninfo, int timeout_seconds, Open open) {
  const std::string timeout = std::to_string(timeout_seconds);
  const std::string user_timeout_ms = std::to_string(timeout_seconds * 1000);
  const char* const keys[] = {"connect_timeout",  "keepalives",       "keepalives_idle", "keepalives_interval",
                              "keepalives_count", "tcp_user_timeout", "dbname",          nullptr};
  const char* const values[] = {timeout.c_str(),  "1",    "5", "2", "3", user_timeout_ms.c_str(),
                                conninfo.c_str(), nullptr};
  return open(keys, values);
}
}  // namespace

PGconn* ConnectPostgres(const std::string& conninfo, int timeout_seconds) {
  return WithBounds(conninfo, timeout_seconds, [](const char* const* keys, const char* const* values) {
    return PQconnectdbParams(keys, values, /*expand_dbname=*/1);
  });
}

PGconn* StartPostgresConnection(const std::string& conninfo, int timeout_seconds) {
  return WithBounds(conninfo, timeout_seconds, [](const char* const* keys, const char* const* values) {
    return PQconnectStartParams(keys, values, /*expand_dbname=*/1);
  });
}

namespace {

// Renumbers "?" outside of quoted literals and identifiers.
std::string Renumber(const std::string& sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  int n = 0;
  char quote = 0;
  for (char c : sql) {
    if (quote) {
      if (c == quote) quote = 0;
      out += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      out += c;
    } else if (c == '?') {
      out += '$' + std::to_string(++n);
    } else {
      out += c;
    }
  }
  return out;
}

bool IsIdentifier(const std::string& s) {
  if (s.empty() || s.size() > 63) return false;
  for (char c : s) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return !(s[0] >= '0' && s[0] <= '9');
}

struct ClearResult {
  void operator()(PGresult* r) const { PQclear(r); }
};
using PgResult = std::unique_ptr<PGresult, ClearResult>;

// Parameters as the texts libpq sends; valid while the SqlValues live.
class TextParams {
 public:
  explicit TextParams(const std::vector<SqlValue>& params) : texts_(params.size()), values_(params.size(), nullptr) {
    for (std::size_t i = 0; i < params.size(); ++i) {
      const SqlValue& v = params[i];
      if (auto s = std::get_if<std::string>(&v)) {
        values_[i] = s->c_str();
      } else if (auto n = std::get_if<std::int64_t>(&v)) {
        texts_[i] = std::to_string(*n);
        values_[i] = texts_[i].c_str();
      } else if (auto d = std::get_if<double>(&v)) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.17g", *d);
        texts_[i] = buffer;
        values_[i] = texts_[i].c_str();
      }
    }
  }
  int size() const { return static_cast<int>(values_.size()); }
  const char* const* values() const { return values_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<const char*> values_;
};

// Whether an error answer means that the session is over: the server shut down or
// terminated it, or the link broke.
bool EndsSession(const std::string& sqlstate) { return sqlstate.starts_with("57P") || sqlstate.starts_with("08"); }

bool IsRead(const std::string& sql) {
  const std::size_t first = sql.find_first_not_of(" \n\t(");
  return first != std::string::npos && (sql.compare(first, 6, "SELECT") == 0 || sql.compare(first, 4, "WITH") == 0);
}

class PostgresDatabase final : public Database {
 public:
  PostgresDatabase(const std::string& conninfo, const std::string& schema, int timeout_seconds)
      : answer_wait_(std::chrono::seconds(timeout_seconds + 2)) {
    conn_ = ConnectPostgres(conninfo, timeout_seconds);
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::string message = PQerrorMessage(conn_);
      PQfinish(conn_);
      throw DbError(DbError::Kind::Unavailable, "cannot connect to PostgreSQL: " + message);
    }
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    if (!schema.empty() && !IsIdentifier(schema)) {
      PQfinish(conn_);
      throw DbError(DbError::Kind::Other, "invalid schema name: " + schema);
    }
    try {
      // A statement or a lock wait that outlasts the bound is cancelled by the server
      // itself, which keeps the connection usable.
      const std::string ms = std::to_string(timeout_seconds * 1000);
      ExecuteScript("SET statement_timeout = " + ms + "; SET lock_timeout = " + ms);
      if (!schema.empty()) UseSchema(schema);
    } catch (const DbError& e) {
      PQfinish(conn_);
      if (e.kind == DbError::Kind::Other || e.kind == DbError::Kind::Busy) throw;
      throw DbError(DbError::Kind::Unavailable, std::string("cannot set up the PostgreSQL session: ") + e.what());
    }
  }
  ~PostgresDatabase() override { PQfinish(conn_); }

  Backend backend() const override { return Backend::Postgres; }

  ResultSet Query(const std::string& sql, const std::vector<SqlValue>& params) override {
    if (pending_begin_ != nullptr) return Rows(Pipeline({{sql, params}}).front().get());
    PgResult res(Run(sql, params));
    return Rows(res.get());
  }

  std::vector<ResultSet> QueryEach(const std::vector<Statement>& statements) override {
    if (statements.size() < 2 && pending_begin_ == nullptr) return Database::QueryEach(statements);
    std::vector<ResultSet> rows;
    rows.reserve(statements.size());
    for (const PgResult& res : Pipeline(statements)) rows.push_back(Rows(res.get()));
    return rows;
  }

  std::int64_t Execute(const std::string& sql, const std::vector<SqlValue>& params) override {
    PgResult res(pending_begin_ != nullptr ? Pipeline({{sql, params}}).front().release() : Run(sql, params));
    const char* affected = PQcmdTuples(res.get());
    return affected && *affected ? std::strtoll(affected, nullptr, 10) : 0;
  }

  void ExecuteScript(const std::string& sql) override {
    if (const char* begin = std::exchange(pending_begin_, nullptr)) ExecuteScript(begin);
    Usable();
    reading_ = IsRead(sql);
    if (PQsendQuery(conn_, sql.c_str()) != 1) Break("cannot send to PostgreSQL: ", false);
    std::exception_ptr failure;
    while (PgResult res{NextResult()}) {
      try {
        if (!failure) Check(res.get(), sql);
      } catch (const DbError&) {
        failure = std::current_exception();
      }
    }
    if (failure) std::rethrow_exception(failure);
  }

  // BEGIN is not sent on its own: it goes out with the transaction's first statement,
  // one round trip less per transaction. A read transaction sees one snapshot for all
  // its statements.
  void Begin(bool write) override {
    pending_begin_ = write ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY";
    in_transaction_ = true;
  }
  void Commit() override {
    if (std::exchange(pending_begin_, nullptr) != nullptr) {  // no statement ran: nothing to commit
      in_transaction_ = false;
      return;
    }
    committing_ = true;
    ExecuteScript("COMMIT");
    committing_ = false;
    in_transaction_ = false;
  }
  void Rollback() override {
    pending_begin_ = nullptr;
    committing_ = false;
    in_transaction_ = false;
    if (!broken_ && PQtransactionStatus(conn_) != PQTRANS_IDLE) ExecuteScript("ROLLBACK");
  }
  const char* ForUpdate() const override { return " FOR UPDATE"; }
  void LockForMigration() override { ExecuteScript("SELECT pg_advisory_xact_lock(4700)"); }
  bool Healthy() const override {
    return !broken_ && PQstatus(conn_) == CONNECTION_OK && PQpipelineStatus(conn_) == PQ_PIPELINE_OFF &&
           PQtransactionStatus(conn_) == PQTRANS_IDLE && pending_begin_ == nullptr;
  }

 private:
  void UseSchema(const std::string& schema) {
    try {
      ExecuteScript("CREATE SCHEMA IF NOT EXISTS " + schema);
    } catch (const DbError& e) {  // two connections creating it at once
      if (e.kind != DbError::Kind::UniqueViolation) throw;
    }
    ExecuteScript("SET search_path TO " + schema);
  }

  // Sends the statements together, after the pending BEGIN if there is one, and returns
  // their results in order. After a failure PostgreSQL skips the rest of the pipeline;
  // its results are read and dropped so that the connection is ready for the next call,
  // and the first failure is thrown. The statements are small, so a blocking connection
  // cannot stall on a full buffer.
  std::vector<PgResult> Pipeline(const std::vector<Statement>& statements) {
    std::vector<const std::string*> names;
    names.reserve(statements.size());
    for (const Statement& statement : statements) names.push_back(&Prepared(statement.sql));  // not in a pipeline
    const char* begin = std::exchange(pending_begin_, nullptr);
    reading_ = std::all_of(statements.begin(), statements.end(), [](const Statement& st) { return IsRead(st.sql); });
    if (PQenterPipelineMode(conn_) != 1) Break("cannot enter pipeline mode: ", false);
    bool sent = begin == nullptr || PQsendQueryParams(conn_, begin, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    for (std::size_t i = 0; sent && i < statements.size(); ++i) {
      const TextParams params(statements[i].params);
      sent = PQsendQueryPrepared(conn_, names[i]->c_str(), params.size(), params.values(), nullptr, nullptr, 0) == 1;
    }
    if (!sent || PQpipelineSync(conn_) != 1) Break("cannot send to PostgreSQL: ", false);
    std::vector<PgResult> results;
    std::exception_ptr failure;
    const std::size_t first = begin != nullptr ? 1 : 0;  // the BEGIN's result comes first
    for (std::size_t i = 0; i < first + statements.size() && !failure; ++i) {
      PgResult res(NextResult());
      if (res == nullptr) Break("a pipeline's results ended early: ", false);
      try {
        const bool is_begin = i < first;
        Check(res.get(), is_begin ? std::string(begin) : statements[i - first].sql);
        if (!is_begin) results.push_back(std::move(res));
      } catch (const DbError&) {
        failure = std::current_exception();
      }
      SkipToEndOfStatement();
    }
    LeavePipeline();
    if (failure) std::rethrow_exception(failure);
    return results;
  }

  // Reads what is left of a pipeline up to its sync point and leaves pipeline mode. Each
  // statement's results end with a null; two nulls in a row mean that libpq has nothing
  // more to give (the connection broke under it), never that more is coming.
  void LeavePipeline() {
    bool last_was_null = false;
    for (;;) {
      PgResult res(NextResult());
      if (res == nullptr) {
        if (last_was_null) Break("a pipeline lost its sync point: ", false);
        last_was_null = true;
        continue;
      }
      last_was_null = false;
      if (PQresultStatus(res.get()) == PGRES_PIPELINE_SYNC) break;
    }
    if (PQexitPipelineMode(conn_) == 1) return;
    PgResult after_sync(NextResult());  // the null that ends the sync point's results
    if (PQexitPipelineMode(conn_) != 1) Break("cannot leave pipeline mode: ", false);
  }

  // The name of the statement prepared on this connection for `sql`, prepared on first use.
  const std::string& Prepared(const std::string& sql) {
    auto it = prepared_.find(sql);
    if (it == prepared_.end()) {
      Usable();
      reading_ = true;  // preparing changes nothing
      const std::string name = "s" + std::to_string(prepared_.size() + 1);
      if (PQsendPrepare(conn_, name.c_str(), Renumber(sql).c_str(), 0, nullptr) != 1) {
        Break("cannot send to PostgreSQL: ", false);
      }
      PgResult prep(NextResult());
      SkipToEndOfStatement();
      Check(prep.get(), sql);
      it = prepared_.emplace(sql, name).first;
    }
    return it->second;
  }

  PGresult* Run(const std::string& sql, const std::vector<SqlValue>& params) {
    const std::string& name = Prepared(sql);
    const TextParams values(params);
    reading_ = IsRead(sql);
    if (PQsendQueryPrepared(conn_, name.c_str(), values.size(), values.values(), nullptr, nullptr, 0) != 1) {
      Break("cannot send to PostgreSQL: ", false);
    }
    PgResult res(NextResult());
    SkipToEndOfStatement();
    Check(res.get(), sql);
    return res.release();
  }

  // The next result, waiting at most the answer's bound for it: a database that stopped
  // answering (its processes stopped, its host gone) ends the wait instead of holding the
  // call, and the connection, for ever.
  PGresult* NextResult() {
    const auto deadline = std::chrono::steady_clock::now() + answer_wait_;
    while (PQisBusy(conn_) == 1) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) Break("no answer from PostgreSQL in time: ", true);
      pollfd socket{PQsocket(conn_), POLLIN, 0};
      if (socket.fd < 0) Break("connection to PostgreSQL lost: ", false);
      const int ready = ::poll(&socket, 1, static_cast<int>(left));
      if (ready < 0 && errno != EINTR) Break("cannot wait for PostgreSQL: ", false);
      if (ready > 0 && PQconsumeInput(conn_) != 1) Break("connection to PostgreSQL lost: ", false);
    }
    return PQgetResult(conn_);
  }

  // Reads and drops a statement's results up to the null that ends them.
  void SkipToEndOfStatement() {
    while (PgResult rest{NextResult()}) rest.reset();
  }

  // A connection found broken earlier is never used again (the pool drops it).
  void Usable() {
    if (broken_) throw DbError(DbError::Kind::ConnectionLost, "connection to PostgreSQL lost earlier");
  }

  // What the caller may assume about a call whose connection broke now.
  DbError::Kind LossKind(bool timed_out) const {
    if (committing_ || (!in_transaction_ && !reading_)) return DbError::Kind::OutcomeUnknown;
    return timed_out ? DbError::Kind::Unavailable : DbError::Kind::ConnectionLost;
  }

  // Marks the connection broken and throws what the caller may assume.
  [[noreturn]] void Break(const std::string& what, bool timed_out) {
    broken_ = true;
    throw DbError(LossKind(timed_out), what + PQerrorMessage(conn_));
  }

  void Check(PGresult* r, const std::string& sql) {
    const ExecStatusType status = PQresultStatus(r);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return;
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const std::string code = state ? state : "";
    const std::string message = std::string(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_)) + " [" + sql + "]";
    if (r == nullptr || EndsSession(code) || PQstatus(conn_) != CONNECTION_OK) {
      broken_ = true;
      throw DbError(LossKind(false), message);
    }
    DbError::Kind kind = DbError::Kind::Other;
    if (code == "23505")
      kind = DbError::Kind::UniqueViolation;
    else if (code == "23503")
      kind = DbError::Kind::ForeignKeyViolation;
    else if (code == "23514")
      kind = DbError::Kind::CheckViolation;
    else if (code == "40001" || code == "40P01" || code == "55P03" || code == "57014")
      kind = DbError::Kind::Busy;  // 57014: the statement timeout cancelled it
    throw DbError(kind, message);
  }

  static ResultSet Rows(PGresult* r) {
    const int cols = PQnfields(r);
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(cols));
    for (int i = 0; i < cols; ++i) names.emplace_back(PQfname(r, i));
    ResultSet result(std::move(names));
    const int rows = PQntuples(r);
    for (int row = 0; row < rows; ++row) {
      for (int i = 0; i < cols; ++i) AddValue(r, row, i, result);
    }
    return result;
  }

  static void AddValue(PGresult* r, int row, int col, ResultSet& result) {
    if (PQgetisnull(r, row, col)) return result.AddNull();
    const char* text = PQgetvalue(r, row, col);
    switch (PQftype(r, col)) {
      case 20:  // int8
      case 21:  // int2
      case 23:  // int4
        return result.AddInt(std::strtoll(text, nullptr, 10));
      case 700:   // float4
      case 701:   // float8
      case 1700:  // numeric
        return result.AddFloat(std::strtod(text, nullptr));
      default:
        return result.AddText({text, static_cast<std::size_t>(PQgetlength(r, row, col))});
    }
  }

  PGconn* conn_ = nullptr;
  const std::chrono::milliseconds answer_wait_;  // the longest wait for one result
  std::map<std::string, std::string> prepared_;
  const char* pending_begin_ = nullptr;  // a BEGIN not sent yet (see Begin)
  bool in_transaction_ = false;          // between Begin and the end of its COMMIT or ROLLBACK
  bool committing_ = false;              // a COMMIT is on its way: its outcome is not known yet
  bool reading_ = false;                 // what is being run only reads
  bool broken_ = false;                  // the connection broke or timed out: never used again
};

}  // namespace

std::unique_ptr<Database> OpenPostgres(const std::string& conninfo, const std::string& schema, int timeout_seconds) {
  return std::make_unique<PostgresDatabase>(conninfo, schema, timeout_seconds);
}

}  // namespace srv
