// A tool button: the icon of the glyph its layout names, no caption; a click goes to
// the runtime.
#pragma once

#include <QToolButton>

#include "desktop/peers/control_peer.h"
#include "platform/runtime/ui/controls.h"

namespace desk {

class TToolButtonPeer : public QToolButton, public TControlPeer {
 public:
  TToolButtonPeer(rt::TSpeedButton& button, QWidget* parent);
  void SyncState() override {}

 private:
  rt::TSpeedButton& button_;
};

}  // namespace desk
