// The host's change watch (platform/clientlib/change_watch.h) in Qt: a change listener
// on its own thread, whose batches are queued to the UI thread and handed to the screen
// only when it is free to take them: not while a modal dialog is open and not while a
// server call is awaited (its wait keeps the event loop turning), so that a screen is
// never re-entered in the middle of what the clerk is doing.
#pragma once

#include <QObject>
#include <QTimer>
#include <vector>

#include "platform/clientlib/change_watch.h"

namespace desk {

class TQtBlockingWait;

class TQtChangeWatch : public QObject, public clib::IChangeWatch {
 public:
  // Installs itself as the process's change watch for its lifetime.
  explicit TQtChangeWatch(const TQtBlockingWait& wait);
  ~TQtChangeWatch() override;

  void Watch(const clib::TChangeKey& key, clib::TNetConnectionComponent& connection, THeard heard) override;
  void Unwatch() override;

 private:
  void Arrived(const clib::TChangeKey& key, std::vector<clib::TChange> changes);
  void HandOver();

  const TQtBlockingWait& wait_;
  clib::TChangeKey key_;
  std::string token_;
  bool watching_ = false;
  THeard heard_;
  std::vector<clib::TChange> waiting_;  // heard, not handed over yet
  QTimer retry_;
  clib::TChangeListener listener_;  // last: its thread ends before the rest goes
};

}  // namespace desk
