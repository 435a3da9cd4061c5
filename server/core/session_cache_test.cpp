#include "server/core/session_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace srv {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kNow = 1'800'000'000;  // the wall clock, seconds
const std::string kAnaToken(64, 'a');
const std::string kBiaToken(64, 'b');

class SessionCacheTest : public ::testing::Test {
 protected:
  SessionCache Cache(std::chrono::milliseconds recheck, std::size_t max_entries = 16) {
    return SessionCache(recheck, max_entries, [this] { return clock_; });
  }
  static Session Of(const std::string& operator_id) { return Session{operator_id, {"0001"}, operator_id + "-ref"}; }

  std::chrono::steady_clock::time_point clock_{};
};

TEST_F(SessionCacheTest, ASessionIsTrustedOnlyWithinTheRecheckAndBeforeItExpires) {
  SessionCache cache = Cache(1000ms);
  cache.Remember(kAnaToken, Of("ana"), kNow + 60);
  struct Case {
    std::chrono::milliseconds later;
    std::int64_t wall;
    bool found;
  };
  for (const Case& c : {Case{0ms, kNow, true}, Case{999ms, kNow, true}, Case{1000ms, kNow, false},
                        Case{0ms, kNow + 59, true}, Case{0ms, kNow + 60, false}, Case{0ms, kNow + 3600, false}}) {
    clock_ = std::chrono::steady_clock::time_point{} + c.later;
    const auto found = cache.Find(kAnaToken, c.wall);
    EXPECT_EQ(found.has_value(), c.found) << c.later.count() << " ms later, wall " << c.wall - kNow << " s on";
    if (found) {
      EXPECT_EQ(found->operator_id, "ana");
    }
  }
  // Found valid again: trusted again from then on.
  clock_ += 2000ms;
  cache.Remember(kAnaToken, Of("ana"), kNow + 60);
  clock_ += 500ms;
  EXPECT_TRUE(cache.Find(kAnaToken, kNow));
}

TEST_F(SessionCacheTest, ATokenFindsOnlyItsOwnSession) {
  SessionCache cache = Cache(1000ms);
  cache.Remember(kAnaToken, Of("ana"), kNow + 60);
  cache.Remember(kBiaToken, Of("bia"), kNow + 60);
  EXPECT_EQ(cache.Find(kAnaToken, kNow)->operator_id, "ana");
  EXPECT_EQ(cache.Find(kBiaToken, kNow)->operator_id, "bia");
  EXPECT_EQ(cache.Find(kBiaToken, kNow)->ref, "bia-ref");
  std::string near = kAnaToken;
  near.back() = 'b';  // one character off
  EXPECT_FALSE(cache.Find(near, kNow));
  EXPECT_FALSE(cache.Find(kAnaToken.substr(0, 63), kNow));
  EXPECT_FALSE(cache.Find("", kNow));
}

TEST_F(SessionCacheTest, AFullCacheShedsStaleEntriesThenEverything) {
  SessionCache cache = Cache(1000ms, 2);
  cache.Remember(kAnaToken, Of("ana"), kNow + 60);
  clock_ += 1500ms;  // ana's entry is stale now
  cache.Remember(kBiaToken, Of("bia"), kNow + 60);
  const std::string third(64, 'c');
  cache.Remember(third, Of("caio"), kNow + 60);  // full: ana's stale entry goes
  EXPECT_TRUE(cache.Find(kBiaToken, kNow));
  EXPECT_TRUE(cache.Find(third, kNow));
  const std::string fourth(64, 'd');
  cache.Remember(fourth, Of("duda"), kNow + 60);  // full of fresh entries: all go but the new one
  EXPECT_FALSE(cache.Find(kBiaToken, kNow));
  EXPECT_FALSE(cache.Find(third, kNow));
  EXPECT_EQ(cache.Find(fourth, kNow)->operator_id, "duda");
}

TEST_F(SessionCacheTest, NoRecheckTimeKeepsNothing) {
  SessionCache cache = Cache(0ms);
  cache.Remember(kAnaToken, Of("ana"), kNow + 60);
  EXPECT_FALSE(cache.Enabled());
  EXPECT_FALSE(cache.Find(kAnaToken, kNow));
}

}  // namespace
}  // namespace srv
