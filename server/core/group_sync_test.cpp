// Group commit at the sync: nobody returns before a sync that began after its commit,
// one sync serves every commit written meanwhile, and a failed sync acknowledges nobody.
#include "server/core/group_sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace srv {
namespace {

// A file as the test sees it: commits written, and the ones a finished sync made durable.
struct FakeDisk {
  std::mutex mutex;
  std::set<int> written, durable;
  int syncs = 0;

  void Write(int commit) {
    std::lock_guard lock(mutex);
    written.insert(commit);
  }
  // What was written when the sync began is durable when it ends.
  std::set<int> BeginSync() {
    std::lock_guard lock(mutex);
    ++syncs;
    return written;
  }
  void EndSync(const std::set<int>& flushed) {
    std::lock_guard lock(mutex);
    durable.insert(flushed.begin(), flushed.end());
  }
  bool IsDurable(int commit) {
    std::lock_guard lock(mutex);
    return durable.count(commit) == 1;
  }
};

TEST(GroupSync, OneSyncServesEveryCommitWrittenMeanwhileAndNobodyReturnsEarly) {
  constexpr int kWriters = 16;
  FakeDisk disk;
  std::atomic<int> tickets_taken{0};
  GroupSync group([&] {
    const std::set<int> flushed = disk.BeginSync();
    // The first sync lasts until every writer has committed: they all wait behind it.
    if (disk.syncs == 1)
      while (tickets_taken < kWriters) std::this_thread::yield();
    disk.EndSync(flushed);
  });
  std::vector<int> not_durable_on_return;
  std::mutex failures;
  std::vector<std::thread> writers;
  writers.reserve(kWriters);
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      disk.Write(w);
      const std::uint64_t ticket = group.Committed();
      ++tickets_taken;
      group.WaitDurable(ticket);
      if (!disk.IsDurable(w)) {
        std::lock_guard lock(failures);
        not_durable_on_return.push_back(w);
      }
    });
  }
  for (auto& t : writers) t.join();
  EXPECT_TRUE(not_durable_on_return.empty());
  // The first sync may have covered one commit or a few; the second covers the rest.
  EXPECT_EQ(disk.syncs, 2);
}

TEST(GroupSync, AFailedSyncAcknowledgesNobodyAndTheOtherWaiterSyncsAgain) {
  FakeDisk disk;
  std::atomic<int> tickets_taken{0};
  GroupSync group([&] {
    const std::set<int> flushed = disk.BeginSync();
    if (disk.syncs == 1) {
      while (tickets_taken < 2) std::this_thread::yield();  // both commits wait on this sync
      throw std::runtime_error("device error");
    }
    disk.EndSync(flushed);
  });
  std::atomic<int> failed{0}, returned_durable{0};
  std::vector<std::thread> writers;
  writers.reserve(2);
  for (int w = 0; w < 2; ++w) {
    writers.emplace_back([&, w] {
      disk.Write(w);
      const std::uint64_t ticket = group.Committed();
      ++tickets_taken;
      try {
        group.WaitDurable(ticket);
        if (disk.IsDurable(w)) ++returned_durable;
      } catch (const std::runtime_error&) {
        ++failed;  // the writer that ran the failing sync hears of it
      }
    });
  }
  for (auto& t : writers) t.join();
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(returned_durable, 1);  // the other returned only after a sync of its own succeeded
  EXPECT_EQ(disk.syncs, 2);
}

}  // namespace
}  // namespace srv
