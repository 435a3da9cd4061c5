// PostgreSQL: the change notices of every server on the database (migration 6's trigger
// sends one per budget sequence a transaction changed, at its COMMIT), heard on a
// connection of their own and told to the feed. When that connection breaks, the
// listener reconnects and wakes every waiter, who then read what they missed from the
// history by their cursors.
#pragma once

#include <libpq-fe.h>

#include <atomic>
#include <string>
#include <thread>

#include "server/core/change_feed.h"

namespace srv {

class ChangeNotices {
 public:
  // `schema`: the schema the server works in ("" the connection's default); notices of
  // other schemas on the same database are not ours.
  ChangeNotices(std::string conninfo, std::string schema, int timeout_seconds, ChangeFeed& feed);
  ~ChangeNotices();
  ChangeNotices(const ChangeNotices&) = delete;
  ChangeNotices& operator=(const ChangeNotices&) = delete;

 private:
  void Run();
  // Listens until the connection breaks or the listener stops.
  void ListenOnce();
  bool Connected(PGconn* conn) const;

  const std::string conninfo_;
  const std::string schema_;
  const int timeout_seconds_;
  ChangeFeed& feed_;
  std::atomic<bool> stop_{false};
  std::thread thread_;  // last: starts once the rest is ready
};

}  // namespace srv
