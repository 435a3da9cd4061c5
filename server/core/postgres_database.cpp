// PostgreSQL backend over libpq: statements prepared once per connection by their
// text, parameters sent as text, "?" placeholders renumbered to $n. Several statements
// asked for at once go in one pipeline: one round trip instead of one each.
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <utility>

#include "server/core/database.h"

namespace srv {
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

class PostgresDatabase final : public Database {
 public:
  PostgresDatabase(const std::string& conninfo, const std::string& schema) {
    conn_ = PQconnectdb(conninfo.c_str());
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::string message = PQerrorMessage(conn_);
      PQfinish(conn_);
      throw DbError(DbError::Kind::Other, "cannot connect to PostgreSQL: " + message);
    }
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    if (!schema.empty()) {
      if (!IsIdentifier(schema)) {
        PQfinish(conn_);
        throw DbError(DbError::Kind::Other, "invalid schema name: " + schema);
      }
      try {
        ExecuteScript("CREATE SCHEMA IF NOT EXISTS " + schema);
      } catch (const DbError& e) {  // two connections creating it at once
        if (e.kind != DbError::Kind::UniqueViolation) throw;
      }
      ExecuteScript("SET search_path TO " + schema);
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
    PgResult res(PQexec(conn_, sql.c_str()));
    Check(res.get(), sql);
  }

  // BEGIN is not sent on its own: it goes out with the transaction's first statement,
  // one round trip less per transaction. A read transaction sees one snapshot for all
  // its statements.
  void Begin(bool write) override {
    pending_begin_ = write ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY";
  }
  void Commit() override {
    if (std::exchange(pending_begin_, nullptr) != nullptr) return;  // no statement ran: nothing to commit
    ExecuteScript("COMMIT");
  }
  void Rollback() override {
    pending_begin_ = nullptr;
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) ExecuteScript("ROLLBACK");
  }
  const char* ForUpdate() const override { return " FOR UPDATE"; }
  void LockForMigration() override { ExecuteScript("SELECT pg_advisory_xact_lock(4700)"); }
  bool Healthy() const override {
    return PQstatus(conn_) == CONNECTION_OK && PQpipelineStatus(conn_) == PQ_PIPELINE_OFF &&
           PQtransactionStatus(conn_) == PQTRANS_IDLE && pending_begin_ == nullptr;
  }

 private:
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
    if (PQenterPipelineMode(conn_) != 1) throw DbError(DbError::Kind::Other, PQerrorMessage(conn_));
    bool sent = begin == nullptr || PQsendQueryParams(conn_, begin, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    for (std::size_t i = 0; sent && i < statements.size(); ++i) {
      const TextParams params(statements[i].params);
      sent = PQsendQueryPrepared(conn_, names[i]->c_str(), params.size(), params.values(), nullptr, nullptr, 0) == 1;
    }
    if (!sent || PQpipelineSync(conn_) != 1) {  // the connection is lost; the pool drops it (not Healthy)
      throw DbError(DbError::Kind::Other, std::string("cannot send to PostgreSQL: ") + PQerrorMessage(conn_));
    }
    std::vector<PgResult> results;
    std::exception_ptr failure;
    const std::size_t first = begin != nullptr ? 1 : 0;  // the BEGIN's result comes first
    for (std::size_t i = 0; i < first + statements.size() && !failure; ++i) {
      PgResult res(PQgetResult(conn_));
      try {
        const bool is_begin = i < first;
        Check(res.get(), is_begin ? std::string(begin) : statements[i - first].sql);
        if (!is_begin) results.push_back(std::move(res));
      } catch (const DbError&) {
        failure = std::current_exception();
      }
      DropResultsUntilNull();  // the end of this statement's results
    }
    DrainPipeline();
    if (failure) std::rethrow_exception(failure);
    return results;
  }

  // The name of the statement prepared on this connection for `sql`, prepared on first use.
  const std::string& Prepared(const std::string& sql) {
    auto it = prepared_.find(sql);
    if (it == prepared_.end()) {
      const std::string name = "s" + std::to_string(prepared_.size() + 1);
      PgResult prep(PQprepare(conn_, name.c_str(), Renumber(sql).c_str(), 0, nullptr));
      Check(prep.get(), sql);
      it = prepared_.emplace(sql, name).first;
    }
    return it->second;
  }

  PGresult* Run(const std::string& sql, const std::vector<SqlValue>& params) {
    const std::string& name = Prepared(sql);
    const TextParams values(params);
    PGresult* r = PQexecPrepared(conn_, name.c_str(), values.size(), values.values(), nullptr, nullptr, 0);
    try {
      Check(r, sql);
    } catch (...) {
      PQclear(r);
      throw;
    }
    return r;
  }

  void Check(PGresult* r, const std::string& sql) {
    const ExecStatusType status = PQresultStatus(r);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return;
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const std::string code = state ? state : "";
    DbError::Kind kind = DbError::Kind::Other;
    if (code == "23505")
      kind = DbError::Kind::UniqueViolation;
    else if (code == "23503")
      kind = DbError::Kind::ForeignKeyViolation;
    else if (code == "23514")
      kind = DbError::Kind::CheckViolation;
    else if (code == "40001" || code == "40P01" || code == "55P03")
      kind = DbError::Kind::Busy;
    throw DbError(kind, std::string(PQerrorMessage(conn_)) + " [" + sql + "]");
  }

  void DropResultsUntilNull() {
    while (PGresult* r = PQgetResult(conn_)) PQclear(r);
  }

  // Reads what is left of a pipeline up to its sync point and leaves pipeline mode.
  void DrainPipeline() {
    while (PQpipelineStatus(conn_) != PQ_PIPELINE_OFF) {
      PGresult* r = PQgetResult(conn_);
      if (r == nullptr) {
        if (PQexitPipelineMode(conn_) == 1 || PQstatus(conn_) != CONNECTION_OK) return;
        continue;  // the results of a statement ended; more follow
      }
      PQclear(r);
    }
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
  std::map<std::string, std::string> prepared_;
  const char* pending_begin_ = nullptr;  // a BEGIN not sent yet (see Begin)
};

}  // namespace

std::unique_ptr<Database> OpenPostgres(const std::string& conninfo, const std::string& schema) {
  return std::make_unique<PostgresDatabase>(conninfo, schema);
}

}  // namespace srv
