#include "desktop/change_watch.h"

#include <QApplication>

#include "desktop/host_services.h"
#include "platform/runtime/blocking_wait.h"
#include "platform/runtime/ui/application.h"

namespace desk {

namespace {
constexpr int kRetryMs = 300;  // how soon a screen that was busy is offered the changes again
}

TQtChangeWatch::TQtChangeWatch(const TQtBlockingWait& wait)
    : wait_(wait), listener_([this](const clib::TChangeKey& key, std::vector<clib::TChange> changes) {
        // The listener's thread: the rest happens on the UI thread.
        QMetaObject::invokeMethod(
            this, [this, key, changes = std::move(changes)]() mutable { Arrived(key, std::move(changes)); },
            Qt::QueuedConnection);
      }) {
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, [this] { HandOver(); });
  clib::InstallChangeWatch(this);
}

TQtChangeWatch::~TQtChangeWatch() {
  if (clib::ChangeWatch() == this) clib::InstallChangeWatch(nullptr);
}

void TQtChangeWatch::Watch(const clib::TChangeKey& key, clib::TNetConnectionComponent& connection, THeard heard) {
  waiting_.clear();
  // An in-process server (tests, embedded use) has nothing to listen to.
  if (connection.AppServer() != nullptr) return Unwatch();
  const clib::TListenTarget target = connection.Connection().ListenTarget();
  heard_ = std::move(heard);
  // A reload of what it listens to already (a refresh in place, F2): its cursor holds.
  if (watching_ && key == key_ && target.token == token_) return;
  key_ = key;
  token_ = target.token;
  watching_ = true;
  // One short exchange for the cursor "now"; the window keeps painting meanwhile.
  rt::BlockingWait().Wait("change feed", [&] { listener_.Listen(key, target); });
}

void TQtChangeWatch::Unwatch() {
  watching_ = false;
  heard_ = nullptr;
  waiting_.clear();
  retry_.stop();
  listener_.StopListening();
}

void TQtChangeWatch::Arrived(const clib::TChangeKey& key, std::vector<clib::TChange> changes) {
  if (!watching_ || !(key == key_)) return;  // heard for what is no longer on screen
  waiting_.insert(waiting_.end(), std::make_move_iterator(changes.begin()), std::make_move_iterator(changes.end()));
  HandOver();
}

void TQtChangeWatch::HandOver() {
  if (waiting_.empty() || !heard_) return;
  // Busy: a dialog open, a server call awaited, or a handler of the screen running (its
  // nested event loop is what delivered this).
  if (QApplication::activeModalWidget() != nullptr || wait_.Waiting() || rt::Application().GuardDepth() > 0) {
    retry_.start(kRetryMs);
    return;
  }
  std::vector<clib::TChange> batch;
  batch.swap(waiting_);
  THeard heard = heard_;  // the screen may watch again (a reload) from inside
  // As any input: a failure is shown by the application's handler, the windows synced after.
  rt::Application().Guard([&] { heard(batch); });
}

}  // namespace desk
