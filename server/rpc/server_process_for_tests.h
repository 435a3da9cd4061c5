// Runs the built alloc-server program as a child process on a loopback port, for the
// end-to-end tests (header only; never part of the server). The binary is found beside
// the test executable (both are built into <build>/server/).
//
// Nothing outlives the test program, whatever its end: a server stays in the test's
// process group and is killed by the kernel when the test program dies (even by
// SIGKILL); a temporary folder is removed by its destructor and, when the program dies
// of a signal it can catch (a crash, an abort, ctest's SIGTERM), by the handler below.
// ./test checks after ctest that nothing was left behind anyway.
#pragma once

#include <fcntl.h>
#include <limits.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace srv::fakes {

inline std::filesystem::path ServerBinary() {
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  for (const auto& candidate :
       {self.parent_path() / "alloc-server", self.parent_path().parent_path() / "server" / "alloc-server"}) {
    if (std::filesystem::exists(candidate)) return candidate;
  }
  throw std::runtime_error("alloc-server not found beside " + self.string() + ": build the alloc-server target");
}

// The folders to remove when the program dies of a signal. A signal handler may only
// use async-signal-safe calls, so the paths sit in fixed slots and the removal is an
// `rm -rf` run through fork and exec. Only the process that made a folder removes it (a
// forked child that crashes leaves its parent's folders alone).
class FoldersRemovedOnCrash {
 public:
  static int Add(const std::string& path) {
    Install();
    for (int i = 0; i < kSlots; ++i) {
      Slot& slot = SlotTable()[i];
      if (slot.used) continue;
      if (path.size() >= sizeof slot.path) return -1;
      path.copy(slot.path, path.size());
      slot.path[path.size()] = '\0';
      slot.owner = ::getpid();
      slot.used = 1;
      return i;
    }
    return -1;  // more folders at once than slots: the destructor still removes it
  }
  static void Remove(int slot) {
    if (slot >= 0) SlotTable()[slot].used = 0;
  }

 private:
  static constexpr int kSlots = 64;
  struct Slot {
    volatile sig_atomic_t used = 0;
    pid_t owner = 0;
    char path[PATH_MAX] = {};
  };
  static Slot* SlotTable() {
    static Slot table[kSlots];
    return table;
  }
  static constexpr int kSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGTERM, SIGINT, SIGHUP};
  static struct sigaction* previous() {
    static struct sigaction table[std::size(kSignals)];
    return table;
  }

  static void Install() {
    static const bool installed = [] {
      for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction action {};
        action.sa_handler = &OnSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(kSignals[i], &action, &previous()[i]);
      }
      return true;
    }();
    (void)installed;
  }

  static void OnSignal(int signal) {
    for (int i = 0; i < kSlots; ++i) {
      Slot& slot = SlotTable()[i];
      if (!slot.used || slot.owner != ::getpid()) continue;
      const pid_t child = ::fork();
      if (child == 0) {
        ::execl("/bin/rm", "rm", "-rf", "--", slot.path, static_cast<char*>(nullptr));
        ::_exit(127);
      }
      if (child > 0) ::waitpid(child, nullptr, 0);
      slot.used = 0;
    }
    // Then whatever handled the signal before (the sanitizers' report), or the default.
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
      if (kSignals[i] != signal) continue;
      ::sigaction(signal, &previous()[i], nullptr);
    }
    ::raise(signal);
  }
};

// A fresh empty folder under the system's temporary folder, removed with the object (and
// when the program dies of a signal, see above).
class TempDir {
 public:
  explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    std::string pattern = (base / "alloc-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    crash_slot_ = FoldersRemovedOnCrash::Add(path_.string());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    FoldersRemovedOnCrash::Remove(crash_slot_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  int crash_slot_ = -1;
};

// A loopback port on which nothing listens (bound, then released).
inline int UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  socklen_t size = sizeof(address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

class ServerProcess {
 public:
  ~ServerProcess() { Kill(); }

  // Starts the program with `args` plus a ready file, and waits until it listens (or
  // exits). Returns false when it exited instead; ExitCode() then says how.
  bool Start(std::vector<std::string> args, std::chrono::seconds timeout = std::chrono::seconds(20)) {
    ready_file_ = work_.path() / ("ready-" + std::to_string(++starts_));
    output_file_ = work_.path() / ("out-" + std::to_string(starts_));
    args.insert(args.begin(), ServerBinary().string());
    args.push_back("--ready-file");
    args.push_back(ready_file_.string());
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      // Killed with the thread that started it; the test's process group is kept. A
      // test program killed before this line ran is caught by the check of the parent.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      const int out = ::open(output_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (std::filesystem::exists(ready_file_)) {
        std::ifstream in(ready_file_);
        in >> port_;
        return true;
      }
      if (Reap(false)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Kill();
    return false;
  }

  // Sends SIGTERM and waits; returns the exit code (-1 when killed by a signal).
  int Stop() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      Reap(true);
    }
    return exit_code_;
  }
  void Kill() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Reap(true);
    }
  }
  // Waits for a process expected to end by itself (bad command line, ...); kills it
  // when it is still running after the timeout.
  int Wait(std::chrono::seconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!Reap(false) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Kill();
    return exit_code_;
  }

  // Stops the server (SIGSTOP) and returns once all its threads have stopped: until
  // then a thread already on a core could still answer a request sent after the signal.
  void Pause() {
    ::kill(pid_, SIGSTOP);
    int status = 0;
    while (::waitpid(pid_, &status, WUNTRACED) == -1 && errno == EINTR) {
    }
  }
  void Resume() { ::kill(pid_, SIGCONT); }

  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  int ExitCode() const { return exit_code_; }
  std::string Output() const {
    std::ifstream in(output_file_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  bool Reap(bool block) {
    if (pid_ <= 0) return true;
    int status = 0;
    if (::waitpid(pid_, &status, block ? 0 : WNOHANG) != pid_) return false;
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return true;
  }

  TempDir work_;
  std::filesystem::path ready_file_;
  std::filesystem::path output_file_;
  pid_t pid_ = -1;
  int port_ = 0;
  int exit_code_ = -1;
  int starts_ = 0;
};

}  // namespace srv::fakes
