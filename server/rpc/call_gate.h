// Bounds the calls that run at the same moment: a call past the limit waits in a queue
// (holding no thread), and a call that finishes hands its turn to the oldest waiting one.
// Of the running calls, only so many may run on the I/O threads themselves ("here"),
// so that one of those threads is always left to serve the sockets.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

namespace srv {

class CallGate {
 public:
  using Call = std::function<void()>;

  CallGate(int limit, int here_limit);

  // Takes a turn to run the call on the calling I/O thread: a turn is free and fewer
  // than `here_limit` calls run on the I/O threads.
  bool TryEnterHere();
  // Takes a turn when one is free.
  bool TryEnter();
  // Queues `later` to run when a turn frees. When one is free already (a call finished
  // since TryEnter said no), the turn is taken for it and `later` comes back, to be
  // started now; otherwise returns an empty function.
  Call Queue(Call later);
  // Gives back a turn (LeaveHere: one TryEnterHere took). The oldest queued call takes
  // it over and is returned, to be started now; an empty function when none waits.
  Call Leave();
  Call LeaveHere();

 private:
  Call PassOn(std::unique_lock<std::mutex>& lock);

  const int limit_;
  const int here_limit_;
  std::mutex mutex_;
  int running_ = 0;
  int running_here_ = 0;
  std::deque<Call> waiting_;
};

}  // namespace srv
