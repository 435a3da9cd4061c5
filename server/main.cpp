// alloc-server: the application server "EVT04700.rdmAloc" (docs/server-program.md).
// Exit codes: 0 ok, 2 bad command line or configuration file, 3 database could not be
// opened or migrated, 4 could not listen, 5 the data file is not a database or is
// damaged, 6 the data folder is in use by another server, 7 stopped with calls cut off,
// 8 the database was written by a newer release (server/program/exit_codes.h).
#include <pthread.h>
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>
#include <CLI/CLI.hpp>

#include "platform/runtime/heap_tuning.h"
#include "server/core/data_folder_lock.h"
#include "server/core/history.h"
#include "server/core/migrations.h"
#include "server/core/service_factory.h"
#include "server/core/storage.h"
#include "server/program/backup_command.h"
#include "server/program/config_file.h"
#include "server/program/exit_codes.h"
#include "server/program/json_log.h"
#include "server/rpc/http_server.h"

namespace {

using srv::kExitBadCommandLine;
using srv::kExitCutOff;
using srv::kExitDamaged;
using srv::kExitDatabase;
using srv::kExitFolderInUse;
using srv::kExitListen;
using srv::kExitSchemaTooNew;

constexpr const char* kDefaultConfigFile = "/etc/alloc-server/alloc-server.conf";

struct Options {
  std::string listen = "127.0.0.1";
  int port = 8211;
  std::string data_dir = "./data";
  std::string database;
  std::string pg_schema;
  bool seed_demo = false;
  std::string log_level = "info";
  std::string ready_file;
  int threads = 0;
  int keep_alive_seconds = 5;
  int header_timeout_seconds = 10;
  int max_connections_per_address = 256;
  std::string tls_certificate_file;
  std::string tls_key_file;
  int password_iterations = 0;
  int db_timeout_seconds = srv::kDefaultDbTimeoutSeconds;
  int stop_timeout_seconds = 10;
  std::string history;  // BRANCH/BUDGET: print that budget's history and exit
  std::string config_file;
  std::string log_format = "text";
  bool metrics_from_any_address = false;
  std::string backup;   // FILE: copy the database there and exit
  std::string restore;  // FILE: put it in place of the data folder's database and exit
};

bool IsPostgresTarget(const std::string& target) {
  return target.starts_with("postgresql://") || target.starts_with("postgres://") ||
         target.find("dbname=") != std::string::npos || target.find("host=") != std::string::npos;
}

srv::StorageConfig StorageFor(const Options& options) {
  srv::StorageConfig config;
  if (!options.database.empty() && IsPostgresTarget(options.database)) {
    config = srv::StorageConfig::Postgres(options.database, options.pg_schema);
  } else if (!options.database.empty()) {
    config = srv::StorageConfig::Sqlite(options.database);
  } else {
    std::filesystem::create_directories(options.data_dir);
    config = srv::StorageConfig::Sqlite((std::filesystem::path(options.data_dir) / "alloc.db").string());
  }
  if (options.password_iterations > 0) config.pbkdf2_iterations = options.password_iterations;
  config.db_timeout_seconds = options.db_timeout_seconds;
  return config;
}

// Written whole or not at all (write, then rename), so a script polling for it never
// reads half a number.
void WriteReadyFile(const std::string& path, int port) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::trunc);
    out << port << "\n";
    if (!out) throw std::runtime_error("cannot write " + partial);
  }
  std::filesystem::rename(partial, path);
}

// "0001/12" -> branch "0001", budget "0000000012" (a number is padded as the screens pad it).
bool ParseBudgetKey(const std::string& text, std::string& branch, std::string& number) {
  const auto slash = text.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == text.size()) return false;
  branch = text.substr(0, slash);
  number = text.substr(slash + 1);
  if (number.find_first_not_of("0123456789") == std::string::npos && number.size() < 10) {
    number.insert(0, 10 - number.size(), '0');
  }
  return true;
}

// --history: prints a budget's allocation history, oldest first, and exits.
int PrintHistory(const Options& options) {
  std::string branch, number;
  if (!ParseBudgetKey(options.history, branch, number)) {
    std::cerr << "alloc-server: --history takes BRANCH/BUDGET (e.g. 0001/12), got '" << options.history << "'"
              << std::endl;
    return kExitBadCommandLine;
  }
  try {
    const srv::StorageConfig storage = StorageFor(options);
    srv::OpenService(storage);  // brings an older database up to date first
    const auto db = srv::OpenDatabase(storage);
    const std::vector<srv::HistoryEntry> entries = srv::BudgetHistory(*db, branch, number);
    if (entries.empty()) std::cout << "no history for budget " << branch << "/" << number << std::endl;
    for (const srv::HistoryEntry& entry : entries) std::cout << srv::DescribeHistoryEntry(entry) << "\n";
    std::cout.flush();
  } catch (const srv::SchemaTooNew& e) {
    std::cerr << "alloc-server: database: " << e.what() << std::endl;
    return kExitSchemaTooNew;
  } catch (const std::exception& e) {
    std::cerr << "alloc-server: database: " << e.what() << std::endl;
    return kExitDatabase;
  }
  return 0;
}

// One server per data folder (--data): a second one would share the file with the first
// unknowingly. A file named by --database may be shared on purpose (docs/storage.md).
int LockDataFolder(const Options& options, srv::DataFolderLock& lock) {
  if (!options.database.empty()) return 0;
  std::error_code error;
  std::filesystem::create_directories(options.data_dir, error);
  if (error) {
    std::cerr << "alloc-server: database: cannot create the data folder " << options.data_dir << ": " << error.message()
              << std::endl;
    return kExitDatabase;
  }
  switch (lock.Take(options.data_dir)) {
    case srv::DataFolderLock::Outcome::Held:
      return 0;
    case srv::DataFolderLock::Outcome::InUse:
      std::cerr << "alloc-server: " << lock.detail() << "; not started" << std::endl;
      return kExitFolderInUse;
    case srv::DataFolderLock::Outcome::CannotWrite:
      std::cerr << "alloc-server: database: the data folder cannot be written (" << lock.detail() << ")" << std::endl;
      return kExitDatabase;
  }
  return kExitDatabase;
}

// Opens and migrates the database (and seeds it when asked); an exit code when it cannot.
int OpenDatabase(const Options& options, std::unique_ptr<srv::AllocService>& service) {
  try {
    const srv::StorageConfig storage = StorageFor(options);
    service = srv::OpenService(storage);
    if (options.seed_demo) {
      std::cout << (srv::SeedDemo(storage) ? "demo data seeded" : "demo data already present; nothing seeded")
                << std::endl;
    }
  } catch (const srv::SchemaTooNew& e) {
    std::cerr << "alloc-server: database: " << e.what()
              << "; run that release, or restore a backup made by this one; the database was left as it is"
              << std::endl;
    return kExitSchemaTooNew;
  } catch (const srv::DbError& e) {
    if (e.kind == srv::DbError::Kind::Damaged) {
      std::cerr << "alloc-server: database: the data file is not a database or is damaged, and was left as it is ("
                << e.what() << "); restore it from a backup" << std::endl;
      return kExitDamaged;
    }
    std::cerr << "alloc-server: database: " << e.what() << std::endl;
    return kExitDatabase;
  } catch (const std::exception& e) {
    std::cerr << "alloc-server: database: " << e.what() << std::endl;
    return kExitDatabase;
  }
  return 0;
}

// Waits for a stop signal and stops the server: calls in progress get `grace` to finish;
// past it the process ends, naming the calls it cut off (their transactions roll back).
class StopOnSignal {
 public:
  StopOnSignal(srv::HttpServer& server, sigset_t signals, std::chrono::seconds grace, std::string ready_file)
      : server_(server), signals_(signals), grace_(grace), ready_file_(std::move(ready_file)) {
    waiter_ = std::thread([this] { Wait(); });
  }
  // Once Serve has returned: every call has finished.
  ~StopOnSignal() {
    {
      std::lock_guard lock(mutex_);
      served_ = true;
    }
    served_changed_.notify_all();
    // Wakes the waiter if Serve ended by itself: the signals are blocked in every thread
    // and taken by its sigwait, so this ends the wait, not the thread.
    pthread_kill(waiter_.native_handle(), SIGTERM);  // NOLINT(bugprone-bad-signal-to-kill-thread)
    waiter_.join();
  }
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;

 private:
  void Wait() {
    int signal = 0;
    sigwait(&signals_, &signal);
    std::unique_lock lock(mutex_);
    if (served_) return;
    spdlog::info("signal {}: stopping; calls in progress have {} s to finish", signal, grace_.count());
    server_.Stop();
    if (served_changed_.wait_for(lock, grace_, [this] { return served_; })) return;
    const std::vector<std::string> running = server_.RunningCalls();
    std::string names;
    for (const std::string& call : running) names += (names.empty() ? "" : "; ") + call;
    spdlog::error("stopped after {} s with {} call(s) cut off: {}", grace_.count(), running.size(),
                  names.empty() ? "(between their answer and its delivery)" : names);
    spdlog::default_logger()->flush();
    if (!ready_file_.empty()) std::filesystem::remove(ready_file_);
    std::_Exit(kExitCutOff);
  }

  srv::HttpServer& server_;
  const sigset_t signals_;
  const std::chrono::seconds grace_;
  const std::string ready_file_;
  std::mutex mutex_;
  std::condition_variable served_changed_;
  bool served_ = false;
  std::thread waiter_;
};

// Every open connection is a descriptor: take the hard limit, not the (often 1024) soft one.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

int Run(const Options& options) {
  // Logs go to stderr: stdout carries only the lines scripts read ("listening on ...").
  if (options.log_format == "json") {
    spdlog::set_default_logger(spdlog::stderr_logger_mt("alloc-server"));
    spdlog::set_formatter(srv::MakeJsonLogFormatter());
  } else {
    spdlog::set_default_logger(spdlog::stderr_color_mt("alloc-server"));
  }
  spdlog::set_level(spdlog::level::from_str(options.log_level));

  // SIGINT and SIGTERM are taken by one thread (below) that stops the server; blocked
  // here, before any other thread exists, so that every thread inherits the mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  srv::DataFolderLock folder_lock;
  if (const int refused = LockDataFolder(options, folder_lock)) return refused;
  std::unique_ptr<srv::AllocService> service;
  if (const int refused = OpenDatabase(options, service)) return refused;

  srv::HttpServerOptions http;
  http.threads = options.threads;
  http.keep_alive_seconds = options.keep_alive_seconds;
  http.header_timeout_seconds = options.header_timeout_seconds;
  http.max_connections_per_address = options.max_connections_per_address;
  http.tls_certificate_file = options.tls_certificate_file;
  http.tls_key_file = options.tls_key_file;
  http.rpc.metrics_from_any_address = options.metrics_from_any_address;
  std::unique_ptr<srv::HttpServer> server_holder;
  try {
    server_holder = std::make_unique<srv::HttpServer>(*service, http);
  } catch (const std::exception& e) {
    std::cerr << "alloc-server: " << e.what() << std::endl;
    return kExitBadCommandLine;
  }
  srv::HttpServer& server = *server_holder;
  RaiseDescriptorLimit();
  int port = 0;
  try {
    port = server.Bind(options.listen, options.port);
  } catch (const std::exception& e) {
    std::cerr << "alloc-server: " << e.what() << std::endl;
    return kExitListen;
  }
  // The socket listens from Bind on: connections wait in its backlog until Serve runs.
  std::cout << "listening on " << (server.Tls() ? "https://" : "http://") << options.listen << ":" << port << std::endl;
  if (!options.ready_file.empty()) {
    try {
      WriteReadyFile(options.ready_file, port);
    } catch (const std::exception& e) {
      std::cerr << "alloc-server: " << e.what() << std::endl;
      return kExitBadCommandLine;
    }
  }

  bool ok = false;
  {
    const StopOnSignal stop(server, stop_signals, std::chrono::seconds(options.stop_timeout_seconds),
                            options.ready_file);
    spdlog::info("serving with {} worker threads{}", server.Threads(), server.Tls() ? " over TLS" : "");
    ok = server.Serve();
  }
  if (!options.ready_file.empty()) std::filesystem::remove(options.ready_file);
  spdlog::info("stopped");
  return ok ? 0 : kExitListen;
}

// The options of running it as a service: configuration file, log format, metrics,
// backup and restore.
void DefineOperationsOptions(CLI::App& app, Options& options) {
  app.add_option("--config", options.config_file,
                 std::string("configuration file (format: docs/server-program.md); default ") + kDefaultConfigFile +
                     " when it exists. The command line overrides it");
  app.add_option("--log-format", options.log_format, "text, or json: one JSON object a line, for log collectors")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();
  app.add_flag("--metrics-from-any-address", options.metrics_from_any_address,
               "GET /metrics without a token from any address (by default only from loopback)");
  auto* backup = app.add_option("--backup", options.backup,
                                "copy the SQLite database of --data/--database into the new FILE (while servers run) "
                                "and exit");
  auto* restore = app.add_option("--restore", options.restore,
                                 "replace the database of the stopped server's data folder (--data) by the backup "
                                 "FILE and exit");
  backup->excludes(restore);
}

void DefineOptions(CLI::App& app, Options& options);

std::unique_ptr<CLI::App> MakeApp(Options& options) {
  auto app = std::make_unique<CLI::App>("alloc-server: the application server EVT04700.rdmAloc (JSON-RPC 2.0 over "
                                        "HTTP/1.1)");
  DefineOptions(*app, options);
  return app;
}

// The command line, with the configuration file's options put before it (so it wins
// over them). Returns the exit code when the program is to stop at once, else -1.
int ParseOptions(std::vector<std::string> args, Options& options) {
  std::unique_ptr<CLI::App> app = MakeApp(options);
  try {
    srv::ParseArguments(*app, args);
  } catch (const CLI::ParseError& e) {
    return app->exit(e) == 0 ? 0 : kExitBadCommandLine;
  }
  const std::string file = !options.config_file.empty()                  ? options.config_file
                           : std::filesystem::exists(kDefaultConfigFile) ? kDefaultConfigFile
                                                                         : "";
  if (file.empty()) return -1;
  try {
    const std::vector<std::string> from_file = srv::ConfigArguments(
        srv::ReadConfigFile(file), *app, {"config", "history", "backup", "restore", "help"},
        [](const std::vector<std::string>& one) {
          Options scratch;
          srv::ParseArguments(*MakeApp(scratch), one);
        });
    args.insert(args.begin() + 1, from_file.begin(), from_file.end());
    options = Options{};
    app = MakeApp(options);
    srv::ParseArguments(*app, args);
  } catch (const srv::ConfigFileError& e) {
    std::cerr << "alloc-server: " << file << (e.line > 0 ? ":" + std::to_string(e.line) : std::string()) << ": "
              << e.what() << "; not started" << std::endl;
    return kExitBadCommandLine;
  } catch (const CLI::ParseError& e) {  // the options of the file and the command line together
    std::cerr << "alloc-server: " << file << " with the command line: " << e.what() << "; not started" << std::endl;
    return kExitBadCommandLine;
  }
  return -1;
}

void DefineOptions(CLI::App& app, Options& options) {
  app.add_option("--listen", options.listen, "address to listen on")->capture_default_str();
  app.add_option("--port", options.port, "TCP port; 0 picks a free one (printed on start)")
      ->check(CLI::Range(0, 65535))
      ->capture_default_str();
  app.add_option("--data", options.data_dir, "data folder; the SQLite database is DIR/alloc.db")->capture_default_str();
  app.add_option("--database", options.database,
                 "SQLite file path, or PostgreSQL as postgresql://... or \"host=... dbname=...\" "
                 "(overrides --data)");
  app.add_option("--pg-schema", options.pg_schema,
                 "PostgreSQL only: schema to work in (created when missing); default: the connection's own");
  app.add_flag("--seed-demo", options.seed_demo, "seed the demo data into a new database (no-op when present)");
  app.add_option("--log-level", options.log_level, "trace, debug, info, warn, error, critical or off")
      ->check(CLI::IsMember({"trace", "debug", "info", "warn", "error", "critical", "off"}))
      ->capture_default_str();
  app.add_option("--ready-file", options.ready_file, "write the listening port to FILE once listening");
  app.add_option("--threads", options.threads, "worker threads running the methods; 0 = max(16, 4 x cores)")
      ->check(CLI::Range(0, 4096))
      ->capture_default_str();
  app.add_option("--keep-alive", options.keep_alive_seconds, "seconds an idle connection stays open between requests")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  app.add_option("--header-timeout", options.header_timeout_seconds,
                 "seconds a request may take to send its headers (its body then has 30)")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  app.add_option("--max-connections-per-address", options.max_connections_per_address,
                 "open connections one client address may hold")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  auto* tls_cert = app.add_option("--tls-cert", options.tls_certificate_file,
                                  "PEM certificate (chain): serve HTTPS only (needs --tls-key)")
                       ->check(CLI::ExistingFile);
  auto* tls_key =
      app.add_option("--tls-key", options.tls_key_file, "PEM private key of --tls-cert")->check(CLI::ExistingFile);
  tls_cert->needs(tls_key);
  tls_key->needs(tls_cert);
  app.add_option("--password-iterations", options.password_iterations,
                 "PBKDF2 iterations for passwords hashed by this run (tests lower it); 0 = default")
      ->check(CLI::Range(0, 10000000));
  app.add_option("--db-timeout", options.db_timeout_seconds,
                 "PostgreSQL: seconds to wait to connect, for a statement or a lock; an answer gets 2 more")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  app.add_option("--stop-timeout", options.stop_timeout_seconds,
                 "seconds calls in progress may take to finish after SIGTERM; then they are cut off")
      ->check(CLI::Range(0, 3600))
      ->capture_default_str();
  app.add_option("--history", options.history,
                 "print the allocation history of budget BRANCH/BUDGET (e.g. 0001/12) from the database and exit");
  DefineOperationsOptions(app, options);
}

}  // namespace

int main(int argc, char** argv) {
  rt::TuneHeapForLargePackets();
  Options options;
  if (const int stop = ParseOptions(std::vector<std::string>(argv, argv + argc), options); stop >= 0) return stop;
  if (!options.history.empty()) return PrintHistory(options);
  if (!options.backup.empty()) return srv::RunBackup(StorageFor(options), options.backup);
  if (!options.restore.empty()) return srv::RunRestore(options.data_dir, options.database, options.restore);
  return Run(options);
}
