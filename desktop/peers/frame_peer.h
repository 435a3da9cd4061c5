// Any other container (panel, scroll box, page): a plain widget holding its controls'
// peers; it has nothing of its own beyond what every control has.
#pragma once

#include <QWidget>

#include "desktop/peers/control_peer.h"
#include "platform/runtime/ui/controls.h"

namespace desk {

class TFramePeer : public QWidget, public TControlPeer {
 public:
  TFramePeer(rt::TWinControl&, QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::NoFocus); }
  void SyncState() override {}
};

}  // namespace desk
