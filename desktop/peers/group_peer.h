// A group box: a frame titled with the runtime's caption, holding its controls' peers.
#pragma once

#include <QGroupBox>

#include "desktop/peers/control_peer.h"
#include "desktop/qt_text.h"
#include "platform/runtime/ui/controls.h"

namespace desk {

class TGroupPeer : public QGroupBox, public TControlPeer {
 public:
  TGroupPeer(rt::TGroupBox& group, QWidget* parent) : QGroupBox(parent), group_(group) {}
  void SyncState() override { setTitle(Q(group_.Caption())); }

 private:
  rt::TGroupBox& group_;
};

}  // namespace desk
