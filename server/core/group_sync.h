// One fsync for every commit that landed meanwhile (group commit at the sync).
//
// SQLite writers of one file commit one after the other, each writing its WAL frames
// into the page cache; with synchronous=FULL each commit also waited for its own fsync
// while holding the write lock, so sixteen clerks saving at once queued behind sixteen
// device flushes. Instead a commit takes a ticket and, once the write lock is free,
// waits until one sync that began after its commit has finished: the first waiter
// syncs for everyone committed so far, later ones wait for it or start the next.
// A save is acknowledged only after that, so an answered save is on disk as before.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace srv {

class GroupSync {
 public:
  // `sync` makes every write issued before it durable; it throws on failure.
  explicit GroupSync(std::function<void()> sync) : sync_(std::move(sync)) {}

  // A commit has been written: its ticket for WaitDurable.
  std::uint64_t Committed();
  // Returns once a sync begun after commit `ticket` has succeeded; rethrows the failure
  // of the sync this call ran itself.
  void WaitDurable(std::uint64_t ticket);

 private:
  std::function<void()> sync_;
  std::mutex mutex_;
  std::condition_variable synced_;
  std::uint64_t committed_ = 0;  // tickets handed out
  std::uint64_t durable_ = 0;    // every ticket up to this one is on disk
  bool syncing_ = false;
};

}  // namespace srv
