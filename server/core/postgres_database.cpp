// PostgreSQL backend over libpq: statements prepared once per connection by their
// text, parameters sent as text, "?" placeholders renumbered to $n.
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <map>

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

class PgResult {
 public:
  explicit PgResult(PGresult* r) : r_(r) {}
  ~PgResult() { PQclear(r_); }
  PgResult(const PgResult&) = delete;
  PgResult& operator=(const PgResult&) = delete;
  PGresult* get() const { return r_; }

 private:
  PGresult* r_;
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
    PgResult res(Run(sql, params));
    PGresult* r = res.get();
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

  std::int64_t Execute(const std::string& sql, const std::vector<SqlValue>& params) override {
    PgResult res(Run(sql, params));
    const char* affected = PQcmdTuples(res.get());
    return affected && *affected ? std::strtoll(affected, nullptr, 10) : 0;
  }

  void ExecuteScript(const std::string& sql) override {
    PgResult res(PQexec(conn_, sql.c_str()));
    Check(res.get(), sql);
  }

  // A read transaction sees one snapshot for all its statements.
  void Begin(bool write) override {
    ExecuteScript(write ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY");
  }
  void Commit() override { ExecuteScript("COMMIT"); }
  void Rollback() override {
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) ExecuteScript("ROLLBACK");
  }
  const char* ForUpdate() const override { return " FOR UPDATE"; }
  void LockForMigration() override { ExecuteScript("SELECT pg_advisory_xact_lock(4700)"); }
  bool Healthy() const override {
    return PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE;
  }

 private:
  PGresult* Run(const std::string& sql, const std::vector<SqlValue>& params) {
    auto it = prepared_.find(sql);
    if (it == prepared_.end()) {
      const std::string name = "s" + std::to_string(prepared_.size() + 1);
      PgResult prep(PQprepare(conn_, name.c_str(), Renumber(sql).c_str(), 0, nullptr));
      Check(prep.get(), sql);
      it = prepared_.emplace(sql, name).first;
    }
    std::vector<std::string> texts(params.size());
    std::vector<const char*> values(params.size(), nullptr);
    for (std::size_t i = 0; i < params.size(); ++i) {
      const SqlValue& v = params[i];
      if (auto s = std::get_if<std::string>(&v)) {
        values[i] = s->c_str();
      } else if (auto n = std::get_if<std::int64_t>(&v)) {
        texts[i] = std::to_string(*n);
        values[i] = texts[i].c_str();
      } else if (auto d = std::get_if<double>(&v)) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.17g", *d);
        texts[i] = buffer;
        values[i] = texts[i].c_str();
      }
    }
    PGresult* r =
        PQexecPrepared(conn_, it->second.c_str(), static_cast<int>(params.size()), values.data(), nullptr, nullptr, 0);
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
};

}  // namespace

std::unique_ptr<Database> OpenPostgres(const std::string& conninfo, const std::string& schema) {
  return std::make_unique<PostgresDatabase>(conninfo, schema);
}

}  // namespace srv
