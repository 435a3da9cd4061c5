// The navigator bar: one button per dataset action, shown and enabled as the runtime's
// navigator says; a click presses the runtime's button.
#pragma once

#include <QWidget>
#include <vector>

#include "desktop/peers/control_peer.h"
#include "platform/runtime/ui/dbctrls.h"

class QToolButton;

namespace desk {

class TNavigatorPeer : public QWidget, public TControlPeer {
 public:
  TNavigatorPeer(rt::TDBNavigator& nav, QWidget* parent);
  void SyncState() override;

 private:
  rt::TDBNavigator& nav_;
  std::vector<QToolButton*> buttons_;
};

}  // namespace desk
