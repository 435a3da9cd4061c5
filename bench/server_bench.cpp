// Load driver for the application server: the real business layer over a SQLite file
// with one large budget (1,000 units of labour), the real HTTP server on a loopback port
// in this process, and clients that are TNetConnection objects on keep-alive connections,
// one per thread, as the screens are.
//
// Prints, per scenario, calls per second and the median and 99th percentile latency:
//   GetAlocaForne (the whole budget) and SetForneMao (one row) from 1, 4 and 16 clients,
//   GetSequencial (a small call) from 1 and 4 clients,
// and the ratio of the server's time for GetAlocaForne to the bare SQL of the same rows
// (four plain queries of those rows, in the grid's order, run with the sqlite3 API on the
// same file), and, side by side in process, the grid load's answer text written from the
// rows against variants encoded.
//
// With --postgres the business layer works on PostgreSQL (a schema of its own in the
// database the libpq connection string names, e.g. the one scripts/pg-test-cluster.sh
// start prints), the bare SQL runs through libpq, and two more scenarios spread their
// clients over this server and a second alloc-server process on the same database.
//
//   server_bench [seconds per scenario, default 2] [--postgres CONNINFO]
#include <libpq-fe.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <spdlog/spdlog.h>
#include "platform/clientlib/net/net_connection.h"
#include "platform/clientlib/net/rpc_answer.h"
#include "platform/runtime/heap_tuning.h"
#include "platform/runtime/packet.h"
#include "platform/runtime/packet_json.h"
#include "server/core/service_factory.h"
#include "server/rpc/http_server.h"
#include "server/rpc/server_process_for_tests.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  double calls_per_second = 0;
  double median_ms = 0;
  double p99_ms = 0;
  long failures = 0;
  std::string first_failure;
};

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Percentile(std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const auto i = static_cast<std::size_t>(std::min<double>(sorted.size() - 1, std::floor(p * sorted.size())));
  return sorted[i];
}

// A signed-in keep-alive client of the server on `port`, as a screen's connection is.
void OpenClient(clib::TNetConnection& net, int port) {
  net.SetHost("127.0.0.1");
  net.SetPort(port);
  net.SetCredentials("demo", "demo");
  net.Open();
}

// Runs `clients` threads for `seconds`; each makes its own connection and calls
// `call(connection, client_index)` in a loop. Latencies of successful calls only.
// Client c talks to ports[c % ports.size()].
template <typename Call>
Figures Drive(const std::vector<int>& ports, int clients, double seconds, Call call) {
  std::vector<std::vector<double>> latencies(clients);
  std::atomic<long> failures{0};
  std::string first_failure;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  Clock::time_point end;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      clib::TNetConnection net;
      OpenClient(net, ports[static_cast<std::size_t>(c) % ports.size()]);
      go.wait(false);
      while (Clock::now() < end) {
        const auto started = Clock::now();
        const clib::ServerAnswer answer = call(net, c);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        if (answer.ok) {
          latencies[c].push_back(ms);
        } else if (failures++ == 0) {
          first_failure = answer.error_text;
        }
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let every client sign in
  const auto started = Clock::now();
  end = started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  go = true;
  go.notify_all();
  for (auto& t : threads) t.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();

  std::vector<double> all;
  for (auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  std::sort(all.begin(), all.end());
  Figures f;
  f.calls_per_second = all.size() / elapsed;
  f.median_ms = Percentile(all, 0.5);
  f.p99_ms = Percentile(all, 0.99);
  f.failures = failures;
  f.first_failure = first_failure;
  return f;
}

void PrintRow(const std::string& name, int clients, const Figures& f) {
  std::printf("%-28s %7d %12.0f %11.3f %11.3f %9ld\n", name.c_str(), clients, f.calls_per_second, f.median_ms, f.p99_ms,
              f.failures);
  if (f.failures > 0) std::printf("    first failure: %s\n", f.first_failure.c_str());
}

// One allocated grid row per client: each client edits only its own, so that its old
// values are always the ones it saved last.
struct OwnRow {
  rt::DataPacket delta;  // one modified row, old = as saved last
  double base_amount = 0;
  int flips = 0;
};

// The delta's fields as the screen's grid defines them (its own definitions, not the
// server's): the key, the professional and the three values a save may change.
rt::FieldDef Field(const char* name, rt::FieldType type, int size) {
  rt::FieldDef f;
  f.name = name;
  f.type = type;
  if (type == rt::FieldType::String) f.size = size;
  return f;
}

std::vector<OwnRow> OwnRows(const rt::DataPacket& allocations, int count) {
  using rt::FieldType;
  const std::vector<rt::FieldDef> fields = {
      Field("CDFILIAL", FieldType::String, 4),     Field("NRORCAEVENTO", FieldType::String, 10),
      Field("NRSEQORCAEVE", FieldType::String, 2), Field("NRTURNO", FieldType::String, 2),
      Field("CDPRODUTO", FieldType::String, 10),   Field("CDFORNECED", FieldType::String, 21),
      Field("HRINITUMOBRA", FieldType::String, 4), Field("IDTIPOPAGAFORN", FieldType::String, 10),
      Field("VRPAGOFORNORC", FieldType::Float, 0)};
  std::vector<int> index;
  rt::DataPacket shape;
  shape.kind = rt::DataPacket::Kind::Delta;
  shape.fields = fields;
  for (const rt::FieldDef& f : fields) {
    const int i = allocations.FieldIndex(f.name);
    if (i < 0) throw std::runtime_error("the allocations packet has no field " + f.name);
    index.push_back(i);
  }
  std::vector<OwnRow> rows;
  for (const rt::Row& row : allocations.rows) {
    const rt::Variant& supplier = row[static_cast<std::size_t>(index[5])];
    if (supplier.IsNull() || supplier.AsString().empty()) continue;
    rt::Row values;
    for (int i : index) values.push_back(row[static_cast<std::size_t>(i)]);
    OwnRow own;
    own.delta = shape;
    own.delta.changes.push_back({rt::RowKind::Modified, values, values});
    own.base_amount = values[8].IsNull() ? 0.0 : values[8].AsFloat();
    rows.push_back(std::move(own));
    if (static_cast<int>(rows.size()) == count) break;
  }
  if (static_cast<int>(rows.size()) < count) throw std::runtime_error("not enough allocated rows");
  return rows;
}

// The amount goes up one cent and back, so that every save changes the row.
clib::ServerAnswer SaveOneRow(clib::TNetConnection& net, OwnRow& own) {
  rt::DeltaRow& change = own.delta.changes[0];
  const double next = own.base_amount + ((own.flips + 1) % 2 ? 0.01 : 0.0);
  change.new_values[8] = std::round(next * 100) / 100;
  clib::ServerAnswer answer = net.Call("SetForneMao", {own.delta});
  if (answer.ok) {
    change.old_values[8] = change.new_values[8];
    ++own.flips;
  }
  return answer;
}

// The bare SQL of the grid's rows: four plain queries that give the rows GetAlocaForne
// answers with, in the order the grid shows them, each row's columns read; median
// milliseconds over `runs`. (The server reads the allocations in its index's order and
// sorts them itself, which costs it less than the ORDER BY here: the reference is the
// plain query of the same rows, not the server's own.)
// The four queries, with `?` for the budget's branch, number and sequence.
const std::vector<std::string>& GridQueries() {
  static const std::vector<std::string> queries = {
      "SELECT s.branch, s.number, s.sequence, s.event_at, b.client_trade_name, s.event_type_name, "
      "s.service_type_name, s.guests, s.adults, s.children, s.duration_hours "
      "FROM budget_sequences s JOIN budgets b ON b.branch = s.branch AND b.number = s.number "
      "WHERE s.branch = ? AND s.number = ? AND s.sequence = ?",
      "SELECT a.shift, a.product, a.supplier_code, p.registration, p.registration_type, p.trade_name, p.legal_name, "
      "a.stored_name, a.crew_time, a.payment_type, a.paid_cents, a.account_generated "
      "FROM allocations a JOIN professionals p ON p.supplier_code = a.supplier_code "
      "WHERE a.branch = ? AND a.number = ? AND a.sequence = ? ORDER BY a.id",
      "SELECT i.shift, i.product, p.name, i.quantity, i.charged_cents FROM labour_items i "
      "JOIN labour_products p ON p.code = i.product "
      "WHERE i.branch = ? AND i.number = ? AND i.sequence = ? ORDER BY p.name, i.shift, i.product",
      "SELECT p.supplier_code, p.branch, p.entry_number FROM payables p "
      "JOIN payable_budgets pb ON pb.payable_id = p.id "
      "WHERE pb.branch = ? AND pb.number = ? AND pb.sequence = ? ORDER BY p.entry_number"};
  return queries;
}

// The server's own four queries: the allocations unsorted, with their ids (it sorts them).
const std::vector<std::string>& ServerGridQueries() {
  static const std::vector<std::string> queries = [] {
    std::vector<std::string> own = GridQueries();
    own[1] =
        "SELECT a.shift, a.product, a.supplier_code, p.registration, p.registration_type, p.trade_name, "
        "p.legal_name, a.stored_name, a.crew_time, a.payment_type, a.paid_cents, a.account_generated, a.id "
        "FROM allocations a JOIN professionals p ON p.supplier_code = a.supplier_code "
        "WHERE a.branch = ? AND a.number = ? AND a.sequence = ?";
    return own;
  }();
  return queries;
}

double SqliteBareSqlMedianMs(const std::string& path, const std::string& number, int runs,
                             const std::vector<std::string>& queries) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    throw std::runtime_error("cannot open " + path);
  }
  std::vector<double> times;
  std::size_t cells = 0;
  for (int run = 0; run < runs; ++run) {
    const auto started = Clock::now();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (const std::string& sql : queries) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        throw std::runtime_error(std::string("bare query: ") + sqlite3_errmsg(db));
      }
      sqlite3_bind_text(stmt, 1, "0001", -1, SQLITE_STATIC);
      sqlite3_bind_text(stmt, 2, number.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(stmt, 3, "01", -1, SQLITE_STATIC);
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int col = 0; col < sqlite3_column_count(stmt); ++col) {
          if (sqlite3_column_text(stmt, col) != nullptr) ++cells;
        }
      }
      sqlite3_finalize(stmt);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  }
  sqlite3_close(db);
  std::sort(times.begin(), times.end());
  if (cells == 0) throw std::runtime_error("the bare query read nothing");
  return Percentile(times, 0.5);
}

// A libpq connection, closed with the object.
struct PgConnection {
  PGconn* conn;
  explicit PgConnection(const std::string& conninfo) : conn(PQconnectdb(conninfo.c_str())) {
    if (PQstatus(conn) != CONNECTION_OK) throw std::runtime_error(std::string("PostgreSQL: ") + PQerrorMessage(conn));
  }
  ~PgConnection() { PQfinish(conn); }
  void Run(const std::string& sql) {
    PGresult* r = PQexec(conn, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    PQclear(r);
    if (!ok) throw std::runtime_error("PostgreSQL: " + sql + ": " + PQerrorMessage(conn));
  }
};

// `?` placeholders as PostgreSQL's $1, $2, ...
std::string NumberedPlaceholders(const std::string& sql) {
  std::string out;
  int n = 0;
  for (char c : sql) out += c == '?' ? "$" + std::to_string(++n) : std::string(1, c);
  return out;
}

// The same four queries through libpq on the schema the server uses, every value read
// as text (as the server reads it).
double PostgresBareSqlMedianMs(const std::string& conninfo, const std::string& schema, const std::string& number,
                               int runs, const std::vector<std::string>& queries) {
  PgConnection pg(conninfo);
  pg.Run("SET search_path TO " + schema);
  const char* params[] = {"0001", number.c_str(), "01"};
  std::vector<double> times;
  std::size_t cells = 0;
  for (int run = 0; run < runs; ++run) {
    const auto started = Clock::now();
    pg.Run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    for (const std::string& sql : queries) {
      PGresult* r = PQexecParams(pg.conn, NumberedPlaceholders(sql).c_str(), 3, nullptr, params, nullptr, nullptr, 0);
      if (PQresultStatus(r) != PGRES_TUPLES_OK) {
        PQclear(r);
        throw std::runtime_error(std::string("bare query: ") + PQerrorMessage(pg.conn));
      }
      for (int row = 0; row < PQntuples(r); ++row) {
        for (int col = 0; col < PQnfields(r); ++col) {
          if (!PQgetisnull(r, row, col) && PQgetvalue(r, row, col) != nullptr) ++cells;
        }
      }
      PQclear(r);
    }
    pg.Run("COMMIT");
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  }
  std::sort(times.begin(), times.end());
  if (cells == 0) throw std::runtime_error("the bare query read nothing");
  return Percentile(times, 0.5);
}

struct Options {
  double seconds = 2;
  std::string postgres;  // libpq connection string; empty: SQLite
  bool availability = false;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options o;
  bool seconds_seen = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--postgres" && i + 1 < argc) {
      o.postgres = argv[++i];
      continue;
    }
    if (arg == "--availability") {
      o.availability = true;
      continue;
    }
    char* end = nullptr;
    o.seconds = std::strtod(arg.c_str(), &end);
    if (seconds_seen || *end != '\0' || !(o.seconds > 0)) return std::nullopt;
    seconds_seen = true;
  }
  return o;
}

// The professional lookups with 100,000 units in the database (90,000 allocations, most
// of them at one time), from one clerk over loopback: the validation of a professional
// for 12/01's evening unit and the list of 27/01's waiters, free ones first.
void AvailabilityScenarios(const srv::StorageConfig& storage, const std::vector<int>& port, double seconds) {
  const auto started = Clock::now();
  srv::GenerateLargeBudget(storage, 100000);
  std::printf("\nwith a 100,000-unit budget added (%.1f s to make it):\n",
              std::chrono::duration<double>(Clock::now() - started).count());
  const auto validate = [](clib::TNetConnection& net, int) {
    return net.Call("GetProdForn", {"MO002", "F15350946056", "0001", "0000000012", "01", "02", "1900"});
  };
  const auto list_waiters = [](clib::TNetConnection& net, int) {
    return net.Call("GetProdForn", {"MO001", "", "0001", "0000000027", "01", "02", ""});
  };
  {  // what the timed calls answer: a professional with bookings, a list with booked ones
    clib::TNetConnection net;
    OpenClient(net, port[0]);
    const clib::ServerAnswer v = validate(net, 0), l = list_waiters(net, 0);
    if (!v.ok || !l.ok) throw std::runtime_error("a lookup failed: " + v.error_text + l.error_text);
    const rt::DataPacket& listed = l.value.AsArray()[0].AsPacket();
    const int where = listed.FieldIndex("DSALOCACAO");
    const auto booked = std::count_if(listed.rows.begin(), listed.rows.end(),
                                      [&](const rt::Row& r) { return !r[where].AsString().empty(); });
    std::printf("the validation reports %zu booking(s); the list has %zu professionals, %td of them booked\n",
                v.value.AsArray()[1].AsPacket().rows.size(), listed.rows.size(), booked);
  }
  const Figures validation = Drive(port, 1, seconds, validate);
  PrintRow("GetProdForn (validation)", 1, validation);
  const Figures list = Drive(port, 1, seconds, list_waiters);
  PrintRow("GetProdForn (list)", 1, list);
  std::printf("figures: validation_median_ms=%.3g validation_p99_ms=%.3g list_median_ms=%.3g list_p99_ms=%.3g\n",
              validation.median_ms, validation.p99_ms, list.median_ms, list.p99_ms);
}

}  // namespace

int main(int argc, char** argv) {
  const bool help = argc > 1 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help");
  const std::optional<Options> options = ParseOptions(argc, argv);
  if (help || !options) {
    std::printf(
        "usage: server_bench [SECONDS] [--postgres CONNINFO] [--availability]\n"
        "Starts alloc-server on loopback with a 1,000-unit budget and measures calls per\n"
        "second, median and p99 latency from 1, 4 and 16 keep-alive clients, SECONDS per\n"
        "scenario (default 2), on SQLite or on the PostgreSQL database CONNINFO names\n"
        "(then also with a second server process on that database).\n"
        "--availability: then a budget of 100,000 units is added and the professional\n"
        "lookups a clerk makes (a validation, the list with who is free) are timed.\n");
    return help ? 0 : 2;
  }
  const double seconds = options->seconds;
  spdlog::set_level(spdlog::level::warn);
  rt::TuneHeapForLargePackets();  // as the server and the desktop client do

  std::string folder_pattern = (std::filesystem::temp_directory_path() / "alloc-bench-XXXXXX").string();
  if (::mkdtemp(folder_pattern.data()) == nullptr) return 1;
  const std::filesystem::path folder = folder_pattern;
  const std::string db_path = (folder / "alloc.db").string();
  const std::string pg_schema = "bench_http_" + std::to_string(::getpid());
  srv::StorageConfig storage = options->postgres.empty() ? srv::StorageConfig::Sqlite(db_path)
                                                         : srv::StorageConfig::Postgres(options->postgres, pg_schema);
  storage.pbkdf2_iterations = 1000;
  int rc = 0;
  try {
    auto service = srv::OpenService(storage);
    srv::SeedDemo(storage);
    const std::string number = srv::GenerateLargeBudget(storage, 1000);

    // The grid rows the save scenarios edit, read straight from the business layer.
    const auto login = service->Login("demo", "demo");
    if (!login) throw std::runtime_error("the demo operator cannot sign in");
    std::vector<rt::Variant> key = {"0001", number, "01"};
    const rt::Variant grid = service->Call(login->session, "GetAlocaForne", key);
    const rt::DataPacket& allocations = grid.AsArray()[1].AsPacket();

    srv::HttpServer server(*service);
    const std::vector<int> port = {server.Bind("127.0.0.1", 0)};
    std::thread serving([&] { server.Serve(); });
    // Stops and joins however this block is left.
    struct StopAtExit {
      srv::HttpServer& server;
      std::thread& serving;
      ~StopAtExit() {
        server.Stop();
        serving.join();
      }
    } stop_at_exit{server, serving};

    std::printf("%s; budget %s/01: %zu grid rows; %u cores; %d server threads; %.1f s per scenario\n\n",
                options->postgres.empty() ? "SQLite" : "PostgreSQL", number.c_str(), allocations.rows.size(),
                std::thread::hardware_concurrency(), server.Threads(), seconds);

    std::printf("%-28s %7s %12s %11s %11s %9s\n", "scenario", "clients", "calls/s", "median ms", "p99 ms", "failures");
    std::map<int, Figures> load, saves;
    for (int clients : {1, 4, 16}) {
      load[clients] = Drive(port, clients, seconds, [&](clib::TNetConnection& net, int) {
        return net.Call("GetAlocaForne", {"0001", number, "01"});
      });
      PrintRow("GetAlocaForne (whole grid)", clients, load[clients]);
    }
    for (int clients : {1, 4, 16}) {
      // Reloaded for each run: the previous run left some amounts one cent up.
      const rt::Variant fresh = service->Call(login->session, "GetAlocaForne", key);
      std::vector<OwnRow> rows = OwnRows(fresh.AsArray()[1].AsPacket(), clients);
      saves[clients] = Drive(port, clients, seconds, [&](clib::TNetConnection& net, int c) {
        return SaveOneRow(net, rows[static_cast<std::size_t>(c)]);
      });
      PrintRow("SetForneMao (one row)", clients, saves[clients]);
    }
    std::map<int, Figures> small;
    for (int clients : {1, 4}) {
      small[clients] = Drive(port, clients, seconds, [&](clib::TNetConnection& net, int) {
        return net.Call("GetSequencial", {number, "01"});
      });
      PrintRow("GetSequencial (small)", clients, small[clients]);
    }

    std::map<int, Figures> two_servers;
    if (!options->postgres.empty()) {
      // A second server process on the same database: the clients alternate between them.
      srv::fakes::ServerProcess second;
      if (!second.Start(
              {"--port", "0", "--database", options->postgres, "--pg-schema", pg_schema, "--log-level", "warn"})) {
        throw std::runtime_error("the second alloc-server did not start");
      }
      const std::vector<int> both = {port[0], second.Port()};
      PrintRow("GetAlocaForne, two servers", 4, Drive(both, 4, seconds, [&](clib::TNetConnection& net, int) {
                 return net.Call("GetAlocaForne", {"0001", number, "01"});
               }));
      const rt::Variant fresh = service->Call(login->session, "GetAlocaForne", key);
      std::vector<OwnRow> rows = OwnRows(fresh.AsArray()[1].AsPacket(), 16);
      two_servers[16] = Drive(both, 16, seconds, [&](clib::TNetConnection& net, int c) {
        return SaveOneRow(net, rows[static_cast<std::size_t>(c)]);
      });
      PrintRow("SetForneMao, two servers", 16, two_servers[16]);
    }

    const auto bare_sql = [&](const std::vector<std::string>& queries) {
      return options->postgres.empty() ? SqliteBareSqlMedianMs(db_path, number, 200, queries)
                                       : PostgresBareSqlMedianMs(options->postgres, pg_schema, number, 200, queries);
    };
    const double bare = bare_sql(GridQueries());
    const double own_bare = bare_sql(ServerGridQueries());
    std::vector<double> direct;
    for (int run = 0; run < 100; ++run) {
      const auto started = Clock::now();
      service->Call(login->session, "GetAlocaForne", key);
      direct.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
    }
    std::sort(direct.begin(), direct.end());
    // Where an HTTP call's time goes besides the method: writing the answer's text and
    // the client's reading of it (both in this thread, one after the other).
    std::vector<double> encode, decode;
    for (int run = 0; run < 100; ++run) {
      const rt::Variant value = service->Call(login->session, "GetAlocaForne", key);
      std::string text = R"({"jsonrpc":"2.0","id":1,"result":{"value":)";
      auto started = Clock::now();
      rt::EncodeVariantTo(text, value);
      encode.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
      text += R"(,"params":["0001",")" + number + R"(","01"]}})";
      started = Clock::now();
      const clib::RpcAnswer read = clib::DecodeRpcAnswer(text);
      decode.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
      if (!read.problem.empty()) throw std::runtime_error("the answer does not read back: " + read.problem);
    }
    // The grid load as the HTTP server now runs it: the answer's text written straight from
    // the rows, against the method building variants and their encoding (side by side,
    // alternating, timed on this thread's CPU clock: the machine is shared).
    std::vector<double> via_variants, as_text;
    for (int run = 0; run < 200; ++run) {
      std::string text;
      double started = ThreadCpuMs();
      rt::EncodeVariantTo(text, service->Call(login->session, "GetAlocaForne", key));
      via_variants.push_back(ThreadCpuMs() - started);
      text.clear();
      started = ThreadCpuMs();
      service->CallToText(login->session, "GetAlocaForne", key, text);
      as_text.push_back(ThreadCpuMs() - started);
    }
    std::sort(via_variants.begin(), via_variants.end());
    std::sort(as_text.begin(), as_text.end());
    std::printf(
        "\nGetAlocaForne in process up to the answer's text, median CPU ms: via variants %.3f; written "
        "from the rows %.3f\n",
        Percentile(via_variants, 0.5), Percentile(as_text, 0.5));
    std::sort(encode.begin(), encode.end());
    std::sort(decode.begin(), decode.end());
    std::printf("\nGetAlocaForne answer, median ms: encoding %.3f; the client's decoding %.3f\n",
                Percentile(encode, 0.5), Percentile(decode, 0.5));
    std::printf(
        "\nGetAlocaForne, median ms: bare SQL of the same rows %.3f; business layer in process %.3f; "
        "over HTTP, 1 client %.3f\n",
        bare, Percentile(direct, 0.5), load[1].median_ms);
    std::printf("ratio server / bare SQL: %.1fx (business layer alone %.1fx)\n", load[1].median_ms / bare,
                Percentile(direct, 0.5) / bare);
    std::printf("the server's own queries run bare, median ms: %.3f; ratio server / its own SQL: %.1fx\n", own_bare,
                load[1].median_ms / own_bare);
    std::printf(
        "figures: http_over_sql=%.3g business_over_sql=%.3g http_over_own_sql=%.3g rows_text_over_variants=%.3g",
        load[1].median_ms / bare, Percentile(direct, 0.5) / bare, load[1].median_ms / own_bare,
        Percentile(as_text, 0.5) / Percentile(via_variants, 0.5));
    std::printf(" grid_median_ms_1=%.3g small_median_ms_1=%.3g small_calls_per_s_4=%.0f", load[1].median_ms,
                small[1].median_ms, small[4].calls_per_second);
    for (const auto& [clients, f] : saves)
      std::printf(" save_calls_per_s_%d=%.0f save_p99_ms_%d=%.3g", clients, f.calls_per_second, clients, f.p99_ms);
    for (const auto& [clients, f] : two_servers)
      std::printf(" two_servers_save_calls_per_s_%d=%.0f two_servers_save_p99_ms_%d=%.3g", clients, f.calls_per_second,
                  clients, f.p99_ms);
    std::printf("\n");
    if (options->availability) AvailabilityScenarios(storage, port, seconds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "server_bench: %s\n", e.what());
    rc = 1;
  }
  if (!options->postgres.empty()) {
    try {
      PgConnection pg(options->postgres);
      pg.Run("SET client_min_messages TO warning");  // no notice per dropped table
      pg.Run("DROP SCHEMA IF EXISTS " + pg_schema + " CASCADE");
    } catch (const std::exception& e) {
      std::fprintf(stderr, "server_bench: %s\n", e.what());
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return rc;
}
