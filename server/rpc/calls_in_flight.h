// The calls being run at this moment, by method and client, so that a stop that cuts
// some off can say which.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace srv {

class CallsInFlight {
 public:
  // Counts one call as running until it goes.
  class Entry {
   public:
    Entry(CallsInFlight& owner, std::string method, std::string_view peer) : owner_(owner) {
      id_ = owner_.Add(std::move(method), std::string(peer));
    }
    ~Entry() { owner_.Remove(id_); }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

   private:
    CallsInFlight& owner_;
    std::uint64_t id_ = 0;
  };

  // "SetForneMao from 127.0.0.1, running 12.3 s", one line per call, oldest first.
  std::vector<std::string> Describe() const {
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::string> lines;
    std::lock_guard lock(mutex_);
    for (const auto& [id, call] : running_) {
      const double seconds = std::chrono::duration<double>(now - call.started).count();
      char running[32];
      std::snprintf(running, sizeof running, "%.1f", seconds);
      lines.push_back(call.method + " from " + (call.peer.empty() ? "?" : call.peer) + ", running " + running + " s");
    }
    return lines;
  }

 private:
  struct Call {
    std::string method;
    std::string peer;
    std::chrono::steady_clock::time_point started;
  };
  std::uint64_t Add(std::string method, std::string peer) {
    std::lock_guard lock(mutex_);
    running_.emplace(++next_id_, Call{std::move(method), std::move(peer), std::chrono::steady_clock::now()});
    return next_id_;
  }
  void Remove(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    running_.erase(id);
  }

  mutable std::mutex mutex_;
  std::uint64_t next_id_ = 0;
  std::map<std::uint64_t, Call> running_;
};

}  // namespace srv
