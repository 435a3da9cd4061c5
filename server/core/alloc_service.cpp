#include "server/core/alloc_service.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <map>

#include "platform/runtime/packet.h"
#include "server/core/credentials.h"
#include "server/core/history.h"
#include "server/core/methods.h"

namespace srv {
namespace {

// Sessions held by the session cache before it sheds stale ones: far more clerks than a
// site has, so a full cache is a flood of sign-ins.
constexpr std::size_t kMaxCachedSessions = 4096;

// Connections kept open between calls. SQLite: one for every call that may run at once
// (the default max(16, 4 x cores) workers and the I/O threads, up to 15 cores), since an
// SQLite connection is a file handle and its page cache, and opening one reads the schema
// and loses its prepared statements. PostgreSQL: each idle connection is a backend process held on a
// database that other servers share, so fewer.
constexpr std::size_t kIdleSqliteConnections = 64;
constexpr std::size_t kIdlePostgresConnections = 8;

// A method's parameters: one letter per position, 's' string, 'd' delta packet, 'a' array;
// those after a '|' may be left out (newer clients send them, older ones do not).
struct MethodSignature {
  const char* params;
  rt::Variant (*run)(CallContext&);
  // Writes the answer's JSON text straight from the rows, where the method has that way.
  void (*write)(CallContext&, std::string&) = nullptr;
};

const std::map<std::string, MethodSignature>& Methods() {
  static const std::map<std::string, MethodSignature> table = {
      {"GetPesqOrca", {"sss", &GetPesqOrca}},
      {"GetSequencial", {"ss", &GetSequencial}},
      {"GetAlocaForne", {"sss", &GetAlocaForne, &WriteAlocaForne}},
      // product, registration, branch, number | the unit's sequence, shift and crew time
      {"GetProdForn", {"ssss|sss", &GetProdForn}},
      {"GetVrPgMObra", {"ssss", &GetVrPgMObra}},
      {"GetTurma", {"sssss", &GetTurma}},
      {"SetForneMao", {"d", &SetForneMao}},
      {"Get_VrPgMObra", {"sss", &Get_VrPgMObra}},
      {"GetTpFormPgProf", {"sss", &GetTpFormPgProf}},
      {"GeraConta", {"ssss", &GeraConta}},
      {"SetCancelaConta", {"sss", &SetCancelaConta}},
      {"GetHistorico", {"ss", &GetHistorico}},
      {"GetRelatorios", {"ss", &GetRelatorios}},
      {"GetDadosRelatorio", {"sssa", &GetDadosRelatorio}},
  };
  return table;
}

void CheckParams(const std::string& method, const char* signature, const std::vector<rt::Variant>& params) {
  std::string letters = signature;
  const std::size_t bar = letters.find('|');
  const std::size_t required = bar == std::string::npos ? letters.size() : bar;
  if (bar != std::string::npos) letters.erase(bar, 1);
  const std::size_t most = letters.size();
  if (params.size() < required || params.size() > most) {
    const std::string expected =
        required == most ? std::to_string(most) : std::to_string(required) + " to " + std::to_string(most);
    throw InvalidParams(method + " expects " + expected + " parameter(s), got " + std::to_string(params.size()));
  }
  for (std::size_t i = 0; i < params.size(); ++i) {
    const rt::Variant& p = params[i];
    if (letters[i] == 's' && p.type() != rt::Variant::Type::String) {
      throw InvalidParams(method + ": parameter " + std::to_string(i + 1) + " must be a string, got " +
                          rt::TypeName(p.type()));
    }
    if (letters[i] == 'a' && p.type() != rt::Variant::Type::Array) {
      throw InvalidParams(method + ": parameter " + std::to_string(i + 1) + " must be an array, got " +
                          rt::TypeName(p.type()));
    }
    if (letters[i] == 'd' && (p.type() != rt::Variant::Type::Packet || !p.AsPacket().IsDelta())) {
      throw InvalidParams(
          method + ": parameter " + std::to_string(i + 1) + " must be a delta packet, got " +
          (p.type() == rt::Variant::Type::Packet ? std::string("a data packet") : std::string(rt::TypeName(p.type()))));
    }
  }
}

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// A health check that has waited this long for the database tells the others it is not answering.
constexpr std::int64_t kProbeGraceMs = 2000;

bool BrokeTheConnection(DbError::Kind kind) {
  return kind == DbError::Kind::ConnectionLost || kind == DbError::Kind::Unavailable ||
         kind == DbError::Kind::OutcomeUnknown;
}

// What the clerk reads for a database failure.
const char* ClerkText(DbError::Kind kind) {
  switch (kind) {
    case DbError::Kind::Busy:
      return texts::kDatabaseBusy;
    case DbError::Kind::Unavailable:
      return texts::kDatabaseUnreachable;
    case DbError::Kind::OutcomeUnknown:
      return texts::kOutcomeUnknown;
    case DbError::Kind::DiskFull:
      return texts::kDiskFull;
    case DbError::Kind::ReadOnly:
      return texts::kDataReadOnly;
    default:
      return texts::kDatabaseError;
  }
}

std::string SessionRef(const std::string& token) { return Sha256Hex(token).substr(0, 16); }

// The methods that change allocations or payables (and write history lines).
bool Changes(const std::string& method) {
  return method == "SetForneMao" || method == "GeraConta" || method == "SetCancelaConta";
}

// How long after its line was written a change may still commit (history.h, LateHistory):
// beyond the database's statement bound, which ends a transaction that long.
constexpr std::int64_t kLateCommitSeconds = 15;
// Changes one answer holds, per subscription.
constexpr std::size_t kChangesPerAnswer = 500;

ChangeEvent EventOf(const HistoryEntry& e) {
  ChangeEvent event;
  event.id = e.id;
  event.at = e.at;
  event.operator_id = e.operator_id;
  event.action = e.action;
  event.branch = e.branch;
  event.number = e.number;
  event.sequence = e.sequence;
  event.shift = e.shift;
  event.product = e.product;
  event.allocation_id = e.allocation_id;
  event.old_supplier = e.old_supplier;
  event.new_supplier = e.new_supplier;
  event.entry_numbers = e.entry_numbers;
  return event;
}

bool IsTokenShaped(const std::string& token) {
  return token.size() == 64 && token.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

DbAllocService::DbAllocService(StorageConfig config, ConnectionPool::Opener opener)
    : config_(std::move(config)),
      pool_(std::move(opener), config_.backend == StorageConfig::Backend::Sqlite ? kIdleSqliteConnections
                                                                                 : kIdlePostgresConnections),
      sessions_(std::chrono::milliseconds(config_.backend == StorageConfig::Backend::Sqlite ? config_.session_recheck_ms : 0),
                kMaxCachedSessions),
      dummy_hash_(HashPassword("", config_.pbkdf2_iterations)) {
  if (config_.backend == StorageConfig::Backend::Postgres) {
    notices_ = std::make_unique<ChangeNotices>(config_.target, config_.pg_schema, config_.db_timeout_seconds, feed_);
  } else {
    auto db = pool_.Acquire();
    told_up_to_ = db->Query("SELECT COALESCE(MAX(id), 0) FROM allocation_history").Int(0, 0);
  }
}

std::vector<std::string> DbAllocService::BranchesOf(Database& db, const std::string& operator_id) {
  const ResultSet rows =
      db.Query("SELECT branch FROM operator_branches WHERE operator_id = ? ORDER BY branch", {operator_id});
  std::vector<std::string> branches;
  for (std::size_t i = 0; i < rows.size(); ++i) branches.push_back(rows.Text(i, 0));
  return branches;
}

template <class Work>
auto DbAllocService::WithConnection(const std::string& what, Work work) {
  for (int attempt = 1;; ++attempt) {
    try {
      auto db = attempt == 1 ? pool_.Acquire() : pool_.AcquireNew();
      return work(*db);
    } catch (const DbError& e) {
      if (BrokeTheConnection(e.kind)) pool_.DropIdle();
      // Safe to run again: the transaction never reached its COMMIT, and its guard has
      // rolled back. A method's by-reference parameters are rewritten idempotently.
      if (e.kind == DbError::Kind::ConnectionLost && attempt == 1) {
        spdlog::warn("{}: the database connection broke ({}); running it again on a new connection", what, e.what());
        continue;
      }
      // The detail (SQL, constraint) goes to the log, never to the clerk.
      spdlog::error("{} failed in the database: {}", what, e.what());
      throw ServiceError(ClerkText(e.kind));
    }
  }
}

template <class Run>
auto DbAllocService::Guarded(const Session& session, const std::string& method, std::vector<rt::Variant>& params,
                             Run run) {
  return WithConnection(method, [&](Database& db) {
    CallContext context{db, session, params, turns_};
    return run(context);
  });
}

std::optional<LoginResult> DbAllocService::Login(const std::string& operator_id, const std::string& password) {
  return WithConnection("sign-in", [&](Database& db) -> std::optional<LoginResult> {
    const ResultSet op = db.Query("SELECT password_hash FROM operators WHERE id = ?", {operator_id});
    const bool known = !op.empty();
    const bool ok = VerifyPassword(password, known ? op.Text(0, 0) : dummy_hash_) && known;
    if (!ok) {
      spdlog::info("sign-in refused for operator '{}'", operator_id);
      return std::nullopt;
    }
    LoginResult result;
    result.token = NewSessionToken();
    result.session.operator_id = operator_id;
    result.session.ref = SessionRef(result.token);
    Transaction tx(db, true);
    const std::int64_t now = Now();
    db.Execute("DELETE FROM sessions WHERE expires_at <= ?", {now});
    db.Execute("INSERT INTO sessions (token_hash, operator_id, created_at, expires_at) VALUES (?, ?, ?, ?)",
               {Sha256Hex(result.token), operator_id, now, now + config_.session_seconds});
    result.session.branches = BranchesOf(db, operator_id);
    tx.Commit();
    return result;
  });
}

std::optional<Session> DbAllocService::Authenticate(const std::string& token) {
  if (!IsTokenShaped(token)) return std::nullopt;
  const std::int64_t now = Now();
  if (std::optional<Session> recent = sessions_.Find(token, now)) return recent;
  return WithConnection("token check", [&](Database& db) -> std::optional<Session> {
    // The session and its operator's branches in one round trip.
    const ResultSet s = db.Query(
        "SELECT s.operator_id, b.branch, s.expires_at FROM sessions s LEFT JOIN operator_branches b ON "
        "b.operator_id = s.operator_id WHERE s.token_hash = ? AND s.expires_at > ? ORDER BY b.branch",
        {Sha256Hex(token), now});
    if (s.empty()) return std::nullopt;
    Session session;
    session.operator_id = s.Text(0, 0);
    session.ref = SessionRef(token);
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (!s.IsNull(i, 1)) session.branches.push_back(s.Text(i, 1));  // null: an operator with no branch
    }
    sessions_.Remember(token, session, s.Int(0, 2));
    return session;
  });
}

std::vector<std::string> DbAllocService::MethodNames() const {
  std::vector<std::string> names;
  for (const auto& [name, signature] : Methods()) names.push_back(name);
  return names;
}

bool DbAllocService::DatabaseReachable() {
  const std::int64_t now_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
  std::unique_lock probe(probe_mutex_, std::try_to_lock);
  if (!probe.owns_lock()) {
    // Another check waits for the database: a wait this long already says it is not answering.
    return reachable_ && now_ms - probe_started_ms_ < kProbeGraceMs;
  }
  probe_started_ms_ = now_ms;
  try {
    WithConnection("health check", [](Database& db) { return db.Query("SELECT 1").size(); });
    reachable_ = true;
  } catch (const ServiceError&) {
    reachable_ = false;
  }
  return reachable_;
}

rt::Variant DbAllocService::Call(const Session& session, const std::string& method, std::vector<rt::Variant>& params) {
  const auto it = Methods().find(method);
  if (it == Methods().end()) throw UnknownMethod("unknown method: " + method);
  CheckParams(method, it->second.params, params);
  if (!Changes(method) || notices_) return Guarded(session, method, params, it->second.run);
  // Told also after a refusal: a call that failed half-way wrote nothing, and telling
  // costs one indexed read.
  struct TellAfter {
    DbAllocService& service;
    ~TellAfter() { service.TellFeed(); }
  } tell{*this};
  return Guarded(session, method, params, it->second.run);
}

void DbAllocService::TellFeed() {
  std::vector<ChangeKey> keys;
  {
    std::lock_guard lock(told_mutex_);
    try {
      WithConnection("change feed", [&](Database& db) {
        const ResultSet r = db.Query(
            "SELECT branch, number, sequence, MAX(id) FROM allocation_history WHERE id > ? "
            "GROUP BY branch, number, sequence",
            {told_up_to_});
        for (std::size_t i = 0; i < r.size(); ++i) {
          keys.push_back({r.Text(i, 0), r.Text(i, 1), r.Text(i, 2)});
          told_up_to_ = std::max(told_up_to_, r.Int(i, 3));
        }
        return 0;
      });
    } catch (const ServiceError&) {  // logged; the waiters hear of it when their wait ends
      return;
    }
  }
  if (!keys.empty()) feed_.Changed(keys);
}

ChangesAnswer DbAllocService::ChangesSince(const Session& session, const std::vector<ChangeCursor>& cursors) {
  std::vector<rt::Variant> no_params;
  return Guarded(session, "change feed", no_params, [&](CallContext& c) {
    ChangesAnswer answer;
    const std::int64_t since = Now() - kLateCommitSeconds;
    for (const ChangeCursor& cursor : cursors) {
      c.RequireBranch(cursor.branch);
      const ChangeKey key{cursor.branch, cursor.number, cursor.sequence};
      answer.recent.emplace_back();
      if (!cursor.after) {
        const std::int64_t now = LatestHistoryId(c.db, key);
        answer.cursors.push_back(now);
        for (const HistoryEntry& e : LateHistory(c.db, key, now, since, kChangesPerAnswer)) {
          answer.recent.back().push_back(e.id);
        }
        continue;
      }
      const auto heard = [&](const HistoryEntry& e) {
        return e.session_ref == session.ref ||
               std::find(cursor.seen.begin(), cursor.seen.end(), e.id) != cursor.seen.end();
      };
      for (const HistoryEntry& e : LateHistory(c.db, key, *cursor.after, since, kChangesPerAnswer)) {
        if (!heard(e)) answer.events.push_back(EventOf(e));
      }
      const std::vector<HistoryEntry> fresh = HistoryAfter(c.db, key, *cursor.after, kChangesPerAnswer);
      for (const HistoryEntry& e : fresh) {
        if (!heard(e)) answer.events.push_back(EventOf(e));
      }
      answer.more = answer.more || fresh.size() == kChangesPerAnswer;
      answer.cursors.push_back(fresh.empty() ? *cursor.after : fresh.back().id);
    }
    return answer;
  });
}

bool DbAllocService::CallToText(const Session& session, const std::string& method, std::vector<rt::Variant>& params,
                                std::string& out) {
  const auto it = Methods().find(method);
  if (it == Methods().end() || it->second.write == nullptr) return false;
  CheckParams(method, it->second.params, params);
  Guarded(session, method, params, [&](CallContext& context) { it->second.write(context, out); });
  return true;
}

}  // namespace srv
