// A pool of database connections, so that concurrent calls each get their own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "server/core/database.h"

namespace srv {

class ConnectionPool {
 public:
  using Opener = std::function<std::unique_ptr<Database>()>;
  // Keeps up to `max_idle` connections open between calls. Fewer than the calls that run
  // at once, and a busy server opens and closes a connection for every call beyond it.
  explicit ConnectionPool(Opener opener, std::size_t max_idle = 8) : opener_(std::move(opener)), max_idle_(max_idle) {}

  // A connection lent for one call; it goes back to the pool when the lease ends,
  // unless it is no longer healthy (connection lost, transaction left open), in which
  // case it is closed and a later call opens a new one.
  class Lease {
   public:
    Lease(ConnectionPool& pool, std::unique_ptr<Database> db) : pool_(pool), db_(std::move(db)) {
      pool_.in_use_.fetch_add(1, std::memory_order_relaxed);
    }
    ~Lease() { pool_.Return(std::move(db_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Database& operator*() { return *db_; }
    Database* operator->() { return db_.get(); }

   private:
    ConnectionPool& pool_;
    std::unique_ptr<Database> db_;
  };

  // A new connection, never an idle one: for a call run again after its connection
  // broke.
  Lease AcquireNew() { return Lease(*this, opener_()); }

  // Closes the idle connections: after one was found broken (the database restarted,
  // say) the others most likely are too, and each would cost a call a failed attempt.
  void DropIdle() {
    std::vector<std::unique_ptr<Database>> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(idle_);
  }

  // Connections lent now, and idle ones (GET /metrics).
  std::int64_t InUse() const { return in_use_.load(std::memory_order_relaxed); }
  std::int64_t Idle() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::int64_t>(idle_.size());
  }

  Lease Acquire() {
    {
      std::lock_guard lock(mutex_);
      if (!idle_.empty()) {
        auto db = std::move(idle_.back());
        idle_.pop_back();
        return Lease(*this, std::move(db));
      }
    }
    return Lease(*this, opener_());
  }

 private:
  void Return(std::unique_ptr<Database> db) {
    in_use_.fetch_sub(1, std::memory_order_relaxed);
    if (!db || !db->Healthy()) return;  // a lost or stuck connection is closed, not reused
    std::lock_guard lock(mutex_);
    if (idle_.size() < max_idle_) idle_.push_back(std::move(db));
  }

  Opener opener_;
  const std::size_t max_idle_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Database>> idle_;
  std::atomic<std::int64_t> in_use_{0};
};

}  // namespace srv
