// A PostgreSQL cluster of a test's own (header only; never part of the server): initdb
// into a temporary folder, its socket in that folder, started, restarted, paused and
// stopped by the test alone, so that other suites on the shared test cluster never see
// it go down. Run as the postgres user when the test runs as root.
#pragma once

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "server/rpc/server_process_for_tests.h"

namespace srv::fakes {

class ThrowAwayCluster {
 public:
  ~ThrowAwayCluster() {
    Resume();
    if (started_) Run("stop -m immediate");
  }

  // Starts it; false (with `why()`) when PostgreSQL's server programs are missing or
  // it would not start.
  bool Start() {
    const std::filesystem::path lib = "/usr/lib/postgresql";
    std::error_code error;
    for (const auto& version : std::filesystem::directory_iterator(lib, error)) {
      const auto candidate = version.path() / "bin";
      if (std::filesystem::exists(candidate / "initdb") && candidate.string() > bindir_) bindir_ = candidate.string();
    }
    if (bindir_.empty()) return Fail("PostgreSQL's server programs are not installed");
    const std::string folder = dir_.path().string();
    owner_ = ::geteuid() == 0 ? "postgres" : std::getenv("USER") ? std::getenv("USER") : "postgres";
    if (::geteuid() == 0 && std::system(("chown postgres " + folder).c_str()) != 0) return Fail("chown failed");
    if (Shell(bindir_ + "/initdb -D " + folder + "/data -A trust -U " + owner_ + " -E UTF8 >" + folder +
              "/initdb.log 2>&1") != 0) {
      return Fail("initdb failed");
    }
    if (Run("start -w -l " + folder + "/server.log -o \"-p 5999 -k " + folder +
            " -c listen_addresses='' -c fsync=off\" >/dev/null") != 0) {
      return Fail("pg_ctl start failed");
    }
    started_ = true;
    conninfo_ = "host=" + folder + " port=5999 user=" + owner_ + " dbname=postgres";
    return true;
  }

  // pg_ctl restart -m fast or immediate, waiting until it accepts connections again.
  bool Restart(const std::string& mode) { return Run("restart -w -m " + mode + " >/dev/null") == 0; }

  // Stops every process of the cluster (SIGSTOP) as a hung host would; Resume lets
  // them go on.
  void Pause() {
    paused_ = Processes();
    for (pid_t pid : paused_) ::kill(pid, SIGSTOP);
  }
  void Resume() {
    for (pid_t pid : paused_) ::kill(pid, SIGCONT);
    paused_.clear();
  }

  const std::string& conninfo() const { return conninfo_; }
  const std::string& why() const { return why_; }

 private:
  bool Fail(std::string why) {
    why_ = std::move(why);
    return false;
  }
  int Shell(const std::string& command) const {
    return std::system((::geteuid() == 0 ? "runuser -u postgres -- " + command : command).c_str());
  }
  int Run(const std::string& pg_ctl_args) const {
    return Shell(bindir_ + "/pg_ctl -D " + dir_.path().string() + "/data " + pg_ctl_args);
  }

  // The postmaster (first line of postmaster.pid) and its children.
  std::vector<pid_t> Processes() const {
    std::ifstream pid_file(dir_.path() / "data" / "postmaster.pid");
    pid_t postmaster = 0;
    pid_file >> postmaster;
    std::vector<pid_t> pids;
    if (postmaster <= 0) return pids;
    pids.push_back(postmaster);
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::ifstream stat(entry.path() / "stat");
      std::string line;
      std::getline(stat, line);
      const auto close = line.rfind(')');  // "pid (command) state ppid ..."
      if (close == std::string::npos) continue;
      char state = 0;
      pid_t parent = 0;
      std::istringstream(line.substr(close + 1)) >> state >> parent;
      if (parent == postmaster) pids.push_back(std::stoi(name));
    }
    return pids;
  }

  // Under /tmp when the cluster runs as the postgres user: a test run's own temporary
  // folder (TMPDIR) is private to the user running the tests.
  TempDir dir_{::geteuid() == 0 ? std::filesystem::path("/tmp") : std::filesystem::temp_directory_path()};
  std::string bindir_, owner_, conninfo_, why_;
  bool started_ = false;
  std::vector<pid_t> paused_;
};

}  // namespace srv::fakes
