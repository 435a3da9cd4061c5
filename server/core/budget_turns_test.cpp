#include "server/core/budget_turns.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace srv {
namespace {

using namespace std::chrono_literals;

// Waits until `done` reaches `count`, or a second passes.
bool Reaches(const std::atomic<int>& done, int count) {
  const auto until = std::chrono::steady_clock::now() + 1s;
  while (done.load() < count && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  return done.load() >= count;
}

TEST(BudgetTurnsTest, SavesOfOneBudgetTakeTurnsInTheOrderTheyCame) {
  BudgetTurns turns;
  const std::string key = BudgetTurns::Key("0001", "42", "01");
  std::vector<int> order;
  std::mutex order_mutex;
  std::atomic<int> queued{0};
  std::vector<std::thread> savers;
  {
    const BudgetTurns::Turn first = turns.Take({key});
    for (int i = 0; i < 5; ++i) {
      savers.emplace_back([&, i] {
        ++queued;
        const BudgetTurns::Turn mine = turns.Take({key});
        std::lock_guard lock(order_mutex);
        order.push_back(i);
      });
      // The next saver comes only once this one waits in the queue.
      ASSERT_TRUE(Reaches(queued, i + 1));
      std::this_thread::sleep_for(20ms);
    }
    std::lock_guard lock(order_mutex);
    EXPECT_TRUE(order.empty()) << "a save ran while the first one held the turn";
  }
  for (auto& saver : savers) saver.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(BudgetTurnsTest, OtherBudgetsDoNotWaitAndSharedOnesAreNotDeadlocked) {
  BudgetTurns turns;
  const std::string a = BudgetTurns::Key("0001", "1", "01");
  const std::string b = BudgetTurns::Key("0001", "2", "01");
  {
    const BudgetTurns::Turn held = turns.Take({a});
    std::atomic<int> done{0};
    std::thread other([&] {
      const BudgetTurns::Turn mine = turns.Take({b, b});  // a key twice is taken once
      ++done;
    });
    EXPECT_TRUE(Reaches(done, 1)) << "a save of another budget waited";
    other.join();
  }
  // Two callers taking the same two budgets named in opposite orders, many times.
  std::atomic<int> done{0};
  std::thread forward([&] {
    for (int i = 0; i < 500; ++i) const BudgetTurns::Turn t = turns.Take({a, b});
    ++done;
  });
  std::thread backward([&] {
    for (int i = 0; i < 500; ++i) const BudgetTurns::Turn t = turns.Take({b, a});
    ++done;
  });
  const bool finished = Reaches(done, 2);
  EXPECT_TRUE(finished) << "deadlocked";
  if (!finished) std::abort();  // the threads would never join
  forward.join();
  backward.join();
}

TEST(BudgetTurnsTest, ATurnPassedOnLetsTheNextGoBeforeItGoesAndOnlyOnce) {
  BudgetTurns turns;
  const std::string key = BudgetTurns::Key("0001", "42", "01");
  std::atomic<int> done{0};
  BudgetTurns::Turn first = turns.Take({key});
  std::thread second([&] {
    const BudgetTurns::Turn mine = turns.Take({key});
    ++done;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(done.load(), 0) << "the second save ran while the first held the turn";
  first.PassOn();
  EXPECT_TRUE(Reaches(done, 1)) << "the turn passed on did not reach the next in line";
  second.join();
  // Passed on twice (and again when it goes): the turn taken after it is not released.
  BudgetTurns::Turn third = turns.Take({key});
  first.PassOn();
  std::thread fourth([&] {
    const BudgetTurns::Turn mine = turns.Take({key});
    ++done;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(done.load(), 1) << "a turn passed on twice released the next holder's";
  first.PassOn();  // still nothing
  EXPECT_EQ(done.load(), 1);
  third.PassOn();
  EXPECT_TRUE(Reaches(done, 2));
  fourth.join();
}

TEST(BudgetTurnsTest, KeysOfDifferentBudgetsDiffer) {
  EXPECT_NE(BudgetTurns::Key("0001", "12", "3"), BudgetTurns::Key("0001", "1", "23"));
}

}  // namespace
}  // namespace srv
