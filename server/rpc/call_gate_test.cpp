#include "server/rpc/call_gate.h"

#include <string>

#include <gtest/gtest.h>

namespace srv {
namespace {

TEST(CallGate, CallsPastTheLimitWaitAndTakeOverFinishedTurnsOldestFirst) {
  CallGate gate(2, 1);
  std::string ran;
  ASSERT_TRUE(gate.TryEnterHere());
  ASSERT_TRUE(gate.TryEnter());
  EXPECT_FALSE(gate.TryEnter());
  EXPECT_FALSE(gate.Queue([&] { ran += "a"; }));
  EXPECT_FALSE(gate.Queue([&] { ran += "b"; }));

  CallGate::Call next = gate.LeaveHere();
  ASSERT_TRUE(next);
  next();
  EXPECT_FALSE(gate.TryEnter()) << "the finished call's turn went to the queued one";
  next = gate.Leave();
  ASSERT_TRUE(next);
  next();
  EXPECT_EQ(ran, "ab");

  EXPECT_FALSE(gate.Leave()) << "nothing waits";
  EXPECT_TRUE(gate.TryEnter()) << "a turn was given back";
}

// The calls run on the I/O threads are bounded apart: past their limit a call still
// gets a turn of its own (on a worker), and a call run here gives its place back.
TEST(CallGate, CallsRunOnTheIoThreadsHaveALimitOfTheirOwn) {
  CallGate gate(4, 1);
  ASSERT_TRUE(gate.TryEnterHere());
  EXPECT_FALSE(gate.TryEnterHere());
  EXPECT_TRUE(gate.TryEnter());
  EXPECT_FALSE(gate.LeaveHere());
  EXPECT_TRUE(gate.TryEnterHere());
  EXPECT_TRUE(gate.TryEnter());
  EXPECT_TRUE(gate.TryEnter());
  EXPECT_FALSE(gate.TryEnter()) << "four turns in all";
  EXPECT_FALSE(gate.Leave());
  EXPECT_FALSE(gate.TryEnterHere()) << "the one place here is still held";
}

// A turn that freed between a refused TryEnter and the Queue is taken at once: the
// call comes back to be started, rather than waiting for a Leave that may never come.
TEST(CallGate, QueueTakesATurnFreedMeanwhile) {
  CallGate gate(1, 1);
  ASSERT_TRUE(gate.TryEnter());
  EXPECT_FALSE(gate.TryEnter());
  EXPECT_FALSE(gate.Leave());
  bool ran = false;
  CallGate::Call now = gate.Queue([&] { ran = true; });
  ASSERT_TRUE(now);
  now();
  EXPECT_TRUE(ran);
  EXPECT_FALSE(gate.TryEnter()) << "the returned call holds the turn";
}

}  // namespace
}  // namespace srv
